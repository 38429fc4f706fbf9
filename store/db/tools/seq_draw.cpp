// Test helper: draws identifiers from one sequence of a database and writes them to a
// file, one per line, so a test can run several of these at once and look for
// duplicates. Usage: seq_draw CONNECTION_STRING DB_TYPE SEQUENCE COUNT OUTPUT_FILE
// Exit code 0 when every draw gave an identifier, 1 otherwise, 2 for bad arguments.
#include <cstdlib>
#include <fstream>
#include <string>

#include "agent/object_lock.h"
#include "store/db/conn_params.h"
#include "store/db/conn_pool.h"
#include "store/db/db_provider.h"
#include "store/db/seq_gen.h"
#include "store/imds/table_defn.h"

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  const std::string connection = argv[1];
  const int count = std::atoi(argv[4]);
  InitMutex();
  if (!InitDBProvider()) return 2;
  ConnParams* params = CreateConnParams("localhost", 0, "unused", nullptr, nullptr, 0, "main", 1,
                                        connection.c_str(), "ODBC", argv[2]);
  if (params == nullptr || !AddConnParams(params) || !EstablishDBConnections()) return 1;
  if (InitSeqGenTable() != 1 || UpdateSeqGen(nullptr, argv[3]) != 1) return 1;
  ColumnDefn column{};
  column.generatorName = argv[3];
  std::ofstream out(argv[5]);
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    std::int32_t id = GenerateID(nullptr, &column);
    if (id < 0) ++failures;
    out << id << '\n';
  }
  out.close();
  FreeSeqGenTable();
  CloseAllDBConnections();
  FreeAllConnParams();
  return failures == 0 && out ? 0 : 1;
}
