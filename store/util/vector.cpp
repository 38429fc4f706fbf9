#include "store/util/vector.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "agent/log_writer.h"
#include "agent/object_lock.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

namespace {

// Appends after the current tail (or starts an empty vector). Lock held by the caller.
void LinkAtEnd(Vector* vector, VectorNode* link) {
  link->next = nullptr;
  if (vector->head == nullptr) {
    vector->head = link;
  } else {
    vector->tail->next = link;
  }
  vector->tail = link;
}

// Links `link` directly behind `after`, moving the tail when `after` was the last.
void LinkAfter(Vector* vector, VectorNode* after, VectorNode* link) {
  link->next = after->next;
  after->next = link;
  if (vector->tail == after) vector->tail = link;
}

// The binary search of a sorted add. Returns false for a duplicate; otherwise links it.
bool LinkSorted(Vector* vector, VectorNode* link) {
  VectorCompare compare = vector->compare;
  std::int32_t lo = 0;
  std::int32_t hi = vector->count;
  VectorNode* low = vector->head;
  VectorNode* high = nullptr;
  while (hi - lo != 1) {
    std::int32_t mid = lo + (hi - lo + 1) / 2;
    VectorNode* middle = GetNthElement(vector, mid - lo, low);
    assert(middle != nullptr);
    std::int8_t r = compare(link, middle);
    if (r == 0) return false;
    if (r > 0) {
      lo = mid;
      low = middle;
    } else {
      hi = mid;
      high = middle;
    }
  }
  std::int8_t r = compare(link, low);
  if (r == 0) return false;
  if (r < 0 && low == vector->head) {
    link->next = vector->head;
    vector->head = link;
    return true;
  }
  if (high == nullptr) high = GetNthElement(vector, 1, low);
  if (high == nullptr || compare(link, high) < 0) {
    LinkAfter(vector, low, link);
  } else {
    LinkAfter(vector, high, link);  // reached only with an inconsistent comparator
  }
  return true;
}

// Unlinks the link behind `previous` (the head when `previous` is null) and frees it.
void UnlinkAfter(Vector* vector, VectorNode* previous) {
  VectorNode* gone = previous == nullptr ? vector->head : previous->next;
  if (previous == nullptr) {
    vector->head = gone->next;
  } else {
    previous->next = gone->next;
  }
  if (vector->tail == gone) vector->tail = previous;
  --vector->count;
  std::free(gone);
}

// The link before position `index` (null for 0). Lock held; index in 1..count.
VectorNode* LinkBefore(const Vector* vector, std::int32_t index) {
  return index == 0 ? nullptr : GetNthElement(vector, index - 1, vector->head);
}

void FreeLinks(VectorNode* link) {
  while (link != nullptr) {
    VectorNode* next = link->next;
    std::free(link);
    link = next;
  }
}

// Frees every element copy of a clone, its links and the record.
void DiscardClone(Vector* clone) {
  for (VectorNode* link = clone->head; link != nullptr; link = link->next) std::free(link->element);
  FreeVector(clone);
  std::free(clone);
}

}  // namespace

void InitVector(Vector* vector, const VectorCompare* compareRef) {
  LogTrace("\n\t@@@@@ Inside InitVector() @@@@@ \n");
  if (vector == nullptr) return;
  vector->head = nullptr;
  vector->count = 0;
  vector->tail = nullptr;
  vector->compare = compareRef == nullptr ? nullptr : *compareRef;
}

Vector* CreateVector() {
  auto* vector = static_cast<Vector*>(VtCalloc(1, sizeof(Vector)));
  if (vector == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  InitVector(vector, nullptr);
  return vector;
}

std::uint8_t AddElement(Vector* vector, VectorNode* link) {
  LogTrace("\n\t@@@@@ Inside AddElement() @@@@@ \n");
  if (vector == nullptr || link == nullptr) return 0;
  ObjectLockGuard lock(vector);
  link->next = nullptr;
  if (vector->head == nullptr || vector->compare == nullptr) {
    LinkAtEnd(vector, link);
  } else if (!LinkSorted(vector, link)) {
    return 0;
  }
  ++vector->count;
  return 1;
}

std::uint8_t AddElementData(Vector* vector, void* element) {
  if (vector == nullptr) return 0;
  auto* link = static_cast<VectorNode*>(VtCalloc(1, sizeof(VectorNode)));
  if (link == nullptr) return 0;
  link->element = element;
  std::uint8_t added = AddElement(vector, link);
  if (added == 0) std::free(link);
  return added;
}

std::uint8_t InsertElementAt(Vector* vector, VectorNode* link, std::int32_t index) {
  LogTrace("\n\t@@@@@ Inside InsertElementAt() @@@@@ \n");
  if (vector == nullptr || link == nullptr) return 0;
  ObjectLockGuard lock(vector);
  if (index < 0 || index > vector->count) return 0;
  if (index == vector->count) {
    LinkAtEnd(vector, link);
  } else if (index == 0) {
    link->next = vector->head;
    vector->head = link;
  } else {
    LinkAfter(vector, LinkBefore(vector, index), link);
  }
  ++vector->count;
  return 1;
}

VectorNode* ElementAt(Vector* vector, std::int32_t index) {
  LogTrace("\n\t@@@@@ Inside ElementAt() @@@@@ \n");
  if (vector == nullptr) return nullptr;
  ObjectLockGuard lock(vector);
  if (index < 0 || index >= vector->count) return nullptr;
  return GetNthElement(vector, index, vector->head);
}

VectorNode* GetNthElement(const Vector* vector, std::int32_t n, VectorNode* fromLink) {
  LogTrace("\n\t@@@@@ Inside GetNthElement() @@@@@ \n");
  if (vector == nullptr || vector->head == nullptr || n < 0 || n >= vector->count) return nullptr;
  VectorNode* link = fromLink;
  for (std::int32_t i = 0; i < n && link != nullptr; ++i) link = link->next;
  return link;
}

std::uint8_t DeleteElement(Vector* vector, VectorNode* link) {
  LogTrace("\n\t@@@@@ Inside DeleteElement() @@@@@ \n");
  if (vector == nullptr) return 0;
  ObjectLockGuard lock(vector);
  if (vector->head == nullptr) return 0;
  VectorNode* previous = nullptr;
  for (VectorNode* at = vector->head; at != nullptr; previous = at, at = at->next) {
    if (at == link) {
      UnlinkAfter(vector, previous);
      break;
    }
  }
  return 1;
}

std::uint8_t DeleteElementAt(Vector* vector, std::int32_t index) {
  LogTrace("\n\t@@@@@ Inside DeleteElementAt() @@@@@ \n");
  if (vector == nullptr) return 0;
  ObjectLockGuard lock(vector);
  if (vector->head == nullptr || index < 0 || index >= vector->count) return 0;
  UnlinkAfter(vector, LinkBefore(vector, index));
  return 1;
}

std::uint8_t DeleteLCDVector(Vector* vector, void* element) {
  LogTrace("\n\t@@@@@ Inside DeleteLCDVector() @@@@@ \n");
  if (vector == nullptr) return 0;
  // Found and removed under one hold: a position found first and deleted later could
  // meanwhile name another thread's element.
  ObjectLockGuard lock(vector);
  VectorNode* previous = nullptr;
  for (VectorNode* at = vector->head; at != nullptr; previous = at, at = at->next) {
    if (at->element == element) {
      UnlinkAfter(vector, previous);
      return 1;
    }
  }
  return 0;
}

void FreeVector(Vector* vector) {
  LogTrace("\n\t@@@@@ Inside FreeVector() @@@@@ \n");
  if (vector == nullptr) return;
  ObjectLockGuard lock(vector);
  FreeLinks(vector->head);
  vector->head = nullptr;
  vector->tail = nullptr;
  vector->count = 0;
}

std::uint8_t MergeVector(Vector* target, Vector* source) {
  LogTrace("\n\t@@@@@ Inside MergeVector() @@@@@ \n");
  if (target == nullptr || source == nullptr || target == source) return 0;
  // Every new link first, chained through `next`, so a failure changes nothing.
  VectorNode* fresh = nullptr;
  VectorNode** end = &fresh;
  for (std::int32_t i = 0;; ++i) {
    VectorNode* from = ElementAt(source, i);
    if (from == nullptr) break;
    *end = static_cast<VectorNode*>(VtCalloc(1, sizeof(VectorNode)));
    if (*end == nullptr) {
      FreeLinks(fresh);
      return kVtNoMemory;
    }
    (*end)->element = from->element;
    end = &(*end)->next;
  }
  while (fresh != nullptr) {
    VectorNode* next = fresh->next;
    if (AddElement(target, fresh) == 0) std::free(fresh);  // a duplicate in a sorted target
    fresh = next;
  }
  FreeVector(source);
  return kVtSuccess;
}

Vector* CloneVector(Vector* source) {
  LogTrace("@@@@ Inside CloneVector @@@@\n");
  if (source == nullptr) {
    LogError("Cannot clone vector.  Vector is NULL.\n");
    return nullptr;
  }
  Vector* clone = CreateVector();
  if (clone == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  ObjectLockGuard lock(source);
  for (VectorNode* link = source->head; link != nullptr; link = link->next) {
    auto* text = static_cast<const char*>(link->element);
    char* copy = nullptr;
    if (text == nullptr || AllocateAndSetBytes(&copy, text, StringLength(text)) != kVtSuccess) {
      DiscardClone(clone);
      return nullptr;
    }
    if (AddElementData(clone, copy) == 0) {
      std::free(copy);
      DiscardClone(clone);
      return nullptr;
    }
  }
  return clone;
}
