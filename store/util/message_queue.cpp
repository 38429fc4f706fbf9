#include "store/util/message_queue.h"

#include <cstdlib>

#include "agent/log_writer.h"
#include "agent/object_lock.h"
#include "store/util/alloc.h"

std::uint8_t AddRcvdMsgToQueue(Vector* queue, void* message) {
  LogTrace("\n\t@@@@@ Inside AddRcvdMsgToQueue() @@@@@\n");
  if (queue == nullptr) return 0;
  auto* link = static_cast<VectorNode*>(VtCalloc(1, sizeof(VectorNode)));
  if (link == nullptr) {
    LogError("Buffer allocation is failed !!!\n");
    return 0;
  }
  link->element = message;
  std::uint8_t added = AddElement(queue, link);
  if (added == 0) std::free(link);
  return added;
}

void* ReadMsgFromQueueForProcessing(Vector* queue) {
  LogTrace("\n\t@@@@@ Inside ReadMsgFromQueueForProcessing() @@@@@\n");
  if (queue == nullptr) return nullptr;
  // Unlinked here rather than through DeleteElementAt: that takes the same
  // non-re-entrant lock, and the read and the removal must be one step.
  ObjectLockGuard lock(queue);
  VectorNode* first = queue->head;
  if (first == nullptr) return nullptr;
  queue->head = first->next;
  if (queue->tail == first) queue->tail = nullptr;
  --queue->count;
  void* message = first->element;
  std::free(first);
  return message;
}
