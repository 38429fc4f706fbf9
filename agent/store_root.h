// The store root directory: absent until the store's start-up sets it. The log
// writer and the store's data-file loaders read it to build fallback paths.
// Set it only while no other thread uses the store or the log writer.
#pragma once

// Owned by whoever sets it (the store's start-up); null while no root is set.
extern char* gv_storeRoot;
