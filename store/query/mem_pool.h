// The process-wide root of the APR memory pools; every select query and data object
// allocates from a child pool of it. InitializeMemPool and TerminateMemPool are
// reference counted: the first initialisation creates the root, the matching last
// termination destroys it together with any child pool still alive.
// The count and the root are guarded by a mutex, so the pair may be called from several
// threads; a child pool, like any APR pool, must be used by one thread at a time.
#pragma once

#include <apr_pools.h>

#include <cstdint>

// Initialises APR and creates the root pool on the first call; later calls only count.
// 1 on success; 0 when APR or the root pool cannot be set up (nothing is then counted).
std::uint8_t InitializeMemPool();
// Counts one termination; the last one destroys the root pool and every pool under it
// and shuts APR down. A termination without a matching initialisation is ignored.
void TerminateMemPool();
// A new child pool of the root, owned by the caller (apr_pool_destroy). Null when the
// root pool is not initialised or the pool cannot be created.
apr_pool_t* CreateChildMemPool();
// The root pool, or null while no initialisation is counted.
apr_pool_t* GetRootMemPool();
