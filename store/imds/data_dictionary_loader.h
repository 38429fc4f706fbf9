// The data dictionary loader: reads datadictionary.txt and the XML dictionaries it
// names with libxml2's streaming reader, one table at a time into an XmlTagInfo tree,
// and turns each tree into a TableDefn in the registry (which owns what is added).
// Trees are freed as soon as their table is built. Runs at store start-up on one
// thread: gv_xmlTagInfoRoot makes it not re-entrant.
#pragma once

#include <libxml/xmlreader.h>

#include <cstdint>

// One element of the tree of one table; every text and array is owned by the node.
struct XmlTagInfo {
  char* name;
  char** attribNames;   // recognised attributes, in the order name, system,
  char** attribValues;  // reference-table-name, isbidirectional (each only when present)
  std::int32_t attribCount;
  char** values;        // the element's text; every entry of an allowed-values list
  std::int32_t valueCount;
  XmlTagInfo* firstChild;
  XmlTagInfo* nextSibling;
};

// The table node while one table is being read; null otherwise.
extern XmlTagInfo* gv_xmlTagInfoRoot;

// Loads the list "..\data\datadictionary.txt" (beside the current directory), else
// "<store root>/data/datadictionary.txt", and every dictionary it names from the same
// place. False only when no list can be opened ("Cannot open DataDictionary File.\n").
// Names over 127 bytes and paths over 259 bytes are logged and skipped.
bool LoadAllDataDictFiles();
// The same for "<directory>\datadictionary.txt", without the fallback; false, without
// a message, when the list cannot be opened or the directory is null.
bool LoadDataDictFiles(const char* directory);
// Loads one dictionary file; broken tables are logged and skipped, the others added.
// False only for a null path.
bool LoadDataDictFromXMLFile(const char* path);
// Logs its banner and walks the file; always true.
bool XmlDataParser(const char* path);
// Walks one dictionary file: "Unable to open %s\n" when it cannot be opened,
// "%s : failed to parse\n" when the XML breaks off.
void ParseDataDictFile(const char* path);

// With the reader on a table start tag: reads the table into a tree at
// gv_xmlTagInfoRoot and returns 1, leaving the reader on the table's end tag. 0 when
// the table is to be dropped (a read error, no memory, not a table); the tree is then
// freed and the root null.
std::uint8_t ParseTableInfo(xmlTextReaderPtr reader);
// With the reader on a columns start tag: reads its column elements into column nodes
// under `columnsNode`. 1 when the columns ended (the reader is on the columns end tag
// or on the element that ended them), 0 on a read error or when out of memory.
std::uint8_t ParseColumnsInfo(XmlTagInfo* columnsNode, xmlTextReaderPtr reader);
// Copies the current element's recognised attributes into `tagInfo`. 1; 99 when out of
// memory (what was copied stays recorded); 0 for a null argument.
std::uint8_t AllocateAndStrcpyAttrib(xmlTextReaderPtr reader, XmlTagInfo* tagInfo);
// Builds a TableDefn from the tree at gv_xmlTagInfoRoot and adds it to the registry.
// False, with nothing added, when the tree lacks what a table needs or memory runs out.
bool LoadTableDefnFromTagInfo();

// A new zeroed node, or null.
XmlTagInfo* CreateandInitXmlTagInfo();
// Frees the node, its first-child subtree and its next-sibling chain; false for null.
bool FreeXmlTagInfoList(XmlTagInfo* tagInfo);
