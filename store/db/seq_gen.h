// The sequence generator: named sequences of 32-bit identifiers, reserved from the table
// SeqGenState in batches of 300 and handed out from memory (gv_seqGenTable, which owns its
// SeqGenBatch records). GenerateID and GenerateInstanceID are safe from several threads
// and processes: a batch is claimed with a conditional update (SEQNAME should be the
// table's primary key, so two first reservations cannot both insert). Start-up and
// FreeSeqGenTable run while nothing else uses the generator.
#pragma once

#include <cstdint>

#include "store/util/hash_table.h"

struct ColumnDefn;

struct SeqGenBatch {
  std::int32_t nextId;    // the next identifier to hand out
  std::int32_t batchEnd;  // the last identifier of the batch; exhausted when nextId > batchEnd
};

inline constexpr std::int32_t kSeqGenBatchSize = 300;

extern HashTable gv_seqGenTable;

// InitHashTable(gv_seqGenTable, 50): 1, or 0 when out of memory.
std::uint8_t InitSeqGenTable();
// Frees the batch records and the table.
void FreeSeqGenTable();
// Reserves a batch for every column of the dictionary that names a generator, table by
// table in registry order. 1; 0 at once at a table without columns. A failed reservation
// is not reported here (the sequence then gives -1).
std::uint8_t SequenceGenerator();
// Reserves the next batch of `seqName` in the database of the table's data source (a null
// table: the only data source) and makes it the sequence's batch. 1, or 0 with the
// batch in memory unchanged.
std::uint8_t UpdateSeqGen(const char* tableName, const char* seqName);
// The next identifier of the column's generator, renewing an exhausted batch; -1 for a
// sequence without a batch or when the renewal fails.
std::int32_t GenerateID(const char* tableName, const ColumnDefn* columnDefn);
// The next identifier of the "INSTANCE_ID" sequence, or -1.
std::int32_t GenerateInstanceID();
