#include "store/query/mem_pool.h"

#include <apr_general.h>

#include <mutex>

namespace {

std::mutex gv_memPoolMutex;
// Initialisations not yet matched by a termination; changed under gv_memPoolMutex.
int gv_memPoolUsers = 0;
apr_pool_t* gv_rootMemPool = nullptr;

}  // namespace

std::uint8_t InitializeMemPool() {
  std::lock_guard<std::mutex> hold(gv_memPoolMutex);
  if (gv_memPoolUsers == 0) {
    if (apr_initialize() != APR_SUCCESS) return 0;
    if (apr_pool_create(&gv_rootMemPool, nullptr) != APR_SUCCESS) {
      gv_rootMemPool = nullptr;
      apr_terminate();
      return 0;
    }
  }
  ++gv_memPoolUsers;
  return 1;
}

void TerminateMemPool() {
  std::lock_guard<std::mutex> hold(gv_memPoolMutex);
  if (gv_memPoolUsers == 0) return;
  if (--gv_memPoolUsers > 0) return;
  apr_pool_destroy(gv_rootMemPool);
  gv_rootMemPool = nullptr;
  apr_terminate();
}

apr_pool_t* CreateChildMemPool() {
  std::lock_guard<std::mutex> hold(gv_memPoolMutex);
  if (gv_rootMemPool == nullptr) return nullptr;
  apr_pool_t* child = nullptr;
  if (apr_pool_create(&child, gv_rootMemPool) != APR_SUCCESS) return nullptr;
  return child;
}

apr_pool_t* GetRootMemPool() {
  std::lock_guard<std::mutex> hold(gv_memPoolMutex);
  return gv_rootMemPool;
}
