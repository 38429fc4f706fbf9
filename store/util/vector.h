// Vector: the store's general list, singly linked untyped element pointers with head,
// tail, count and an optional comparator that keeps it sorted. Callers walk it from
// ElementAt(v, 0) along each `next` until null. The vector allocates and frees only its
// links (through VtMalloc); elements stay the caller's. Adding, inserting, deleting,
// ElementAt and FreeVector each hold the object lock keyed by the vector record; a
// caller's own walk between such calls is not protected and needs a lock of its own.
#pragma once

#include <cstdint>

struct VectorNode {
  void* element;     // the caller's element
  VectorNode* next;  // null on the last link
};

// Orders a candidate link (first) against a link of the list (second): negative when
// the candidate sorts before it, 0 when equal, positive when after.
using VectorCompare = std::int8_t (*)(VectorNode* candidate, VectorNode* other);

struct Vector {
  VectorNode* head;       // null when empty
  std::int32_t count;     // links reachable from head
  VectorNode* tail;       // the last link
  VectorCompare compare;  // null: AddElement appends; set: sorted, duplicates refused
};

// Empties the record without freeing anything; `compareRef` is null (unsorted) or
// points to the comparator to keep.
void InitVector(Vector* vector, const VectorCompare* compareRef);
// A new empty unsorted vector; the caller frees it (after FreeVector). Null with
// "MEMORY_ALLOCATION_FAILURE\n" when it cannot be allocated.
Vector* CreateVector();
// Links a caller-allocated link: appended, or placed in order when a comparator is set.
// 1 when linked; 0 when refused as a duplicate or an argument is null (the link then
// stays the caller's and the vector is unchanged).
std::uint8_t AddElement(Vector* vector, VectorNode* link);
// AddElement of a new link holding `element`. 0 when the link cannot be allocated or is
// refused (it is then freed); the vector is then unchanged.
std::uint8_t AddElementData(Vector* vector, void* element);
// Links a caller-allocated link at position `index` (0..count; count appends), ignoring
// the comparator. 0, with nothing changed, for any other index or a null argument.
std::uint8_t InsertElementAt(Vector* vector, VectorNode* link, std::int32_t index);
// The link at `index`, or null when index is outside 0..count - 1.
VectorNode* ElementAt(Vector* vector, std::int32_t index);
// The link n steps after `fromLink` (0: that link); null when n is negative, not below
// count, or the walk runs off the end. Takes no lock.
VectorNode* GetNthElement(const Vector* vector, std::int32_t n, VectorNode* fromLink);
// Unlinks and frees `link` (found by address); the element is not freed. 0 only for an
// empty vector or a null argument; 1 otherwise, also when the link is not in the vector.
std::uint8_t DeleteElement(Vector* vector, VectorNode* link);
// Unlinks and frees the link at `index`. 0 when the index is outside 0..count - 1.
std::uint8_t DeleteElementAt(Vector* vector, std::int32_t index);
// Removes the first link holding exactly the pointer `element` (identity, not content),
// finding and removing it under one hold of the lock. 0 when no link holds it.
std::uint8_t DeleteLCDVector(Vector* vector, void* element);
// Frees every link; the elements and the record stay, and the vector is empty and usable.
void FreeVector(Vector* vector);
// Adds new links holding each element of `source` to `target` (refused duplicates of a
// sorted target are dropped), then empties `source`. All links are allocated first:
// 99 when one cannot be, with both vectors unchanged. 1 on success; 0 for a null argument.
std::uint8_t MergeVector(Vector* target, Vector* source);
// A new unsorted vector of new copies of the source's elements, which must all be
// NUL-terminated strings; the caller frees the copies, the links (FreeVector) and the
// record. The source is read under its lock. Null with
// "Cannot clone vector.  Vector is NULL.\n" for a null source, null when an allocation
// fails (nothing is then left allocated).
Vector* CloneVector(Vector* source);
