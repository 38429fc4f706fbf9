// The string-keyed hash table: chained buckets of case-sensitive keys to untyped values.
// The table owns its entries and copies of the keys (made through VtMalloc); it never
// copies or frees values, which stay the caller's. GetHashKeys hands out an array the
// caller frees (not the keys in it). No operation locks or logs: a table shared by
// several threads needs the caller's own lock.
#pragma once

#include <cstdint>

struct HashEntry {
  char* name;      // the key, owned by the table; null in an empty bucket head
  void* value;     // the caller's value
  HashEntry* next; // the next entry of the same bucket
};

struct HashTable {
  HashEntry** buckets;        // the head entry of each bucket
  std::int32_t bucketCount;
};

// Sets the table up with `size` buckets (0 means 10), each with an empty head entry.
// 1, or 0 when an allocation fails or the size is negative; nothing is then held.
std::uint8_t InitHashTable(HashTable* table, std::int32_t size);
// The bucket of `key`: h = (h * 26 + byte) mod bucketCount over its bytes as unsigned
// values. -1 for a null argument or a table without buckets.
std::int32_t GetHashIndex(const HashTable* table, const char* key);
// The first entry of the key's bucket; null for a null argument.
HashEntry* GetHashBucket(const HashTable* table, const char* key);
// Inserts `key` with `value` or replaces the value of an existing key (the old value is
// only dropped). 1, or 0 when an entry or key copy cannot be allocated or an argument is
// null; the table is then unchanged.
std::uint8_t PutHashValue(HashTable* table, const char* key, void* value);
// 1 when the key is present, whatever its value.
std::uint8_t ContainsHashKey(const HashTable* table, const char* key);
// The key's value; null when absent (or stored as null).
void* GetHashValue(const HashTable* table, const char* key);
// The entry holding the key, or null.
HashEntry* GetHashEntry(const HashTable* table, const char* key);
// Removes the key (never its value). 1 when it was present, else 0.
std::uint8_t RemoveHashKey(HashTable* table, const char* key);
// The number of keys.
std::int32_t GetHashEntryCount(const HashTable* table);
// A new null-terminated array of the table's own key strings in bucket order, then chain
// order. The caller frees the array, not the keys. Null when it cannot be allocated.
char** GetHashKeys(const HashTable* table);
// Releases every entry, key copy and the bucket array; values are untouched. The record
// is left empty and must go through InitHashTable before it is used again.
void FreeHashTable(HashTable* table);
// Puts every key of `source` whose value in `target` is null (absent or stored null) into
// `target` with the source's value (shared, not copied). 0 when either table is null or
// an allocation fails (keys put before the failure stay), else 1.
std::uint8_t MergeHashTable(const HashTable* source, HashTable* target);
