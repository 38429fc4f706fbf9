// The received-message queue: a caller-owned Vector whose elements are received
// messages, oldest first. The queue allocates and frees only its links; messages stay
// the caller's. Adding and reading are safe from several threads: both work under the
// object lock keyed by the queue record.
#pragma once

#include <cstdint>

#include "store/util/vector.h"

// Appends `message` with AddElement. AddElement's result (the link is freed when it is
// refused); 0 with "Buffer allocation is failed !!!\n" when no link can be allocated, 0
// for a null queue.
std::uint8_t AddRcvdMsgToQueue(Vector* queue, void* message);
// Removes the oldest message and returns it; null when the queue is null or empty.
void* ReadMsgFromQueueForProcessing(Vector* queue);
