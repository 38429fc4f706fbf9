#include "store/util/hash_table.h"

#include <cstdlib>
#include <cstring>

#include "store/util/alloc.h"

namespace {

constexpr std::int32_t kDefaultBucketCount = 10;

bool Usable(const HashTable* table, const char* key) {
  return table != nullptr && key != nullptr && table->buckets != nullptr && table->bucketCount > 0;
}

char* CopyKey(const char* key) {
  std::size_t size = std::strlen(key) + 1;
  auto* copy = static_cast<char*>(VtMalloc(size));
  if (copy != nullptr) std::memcpy(copy, key, size);
  return copy;
}

// Frees every entry of one bucket, its head included.
void FreeChain(HashEntry* entry) {
  while (entry != nullptr) {
    HashEntry* next = entry->next;
    std::free(entry->name);
    std::free(entry);
    entry = next;
  }
}

}  // namespace

std::uint8_t InitHashTable(HashTable* table, std::int32_t size) {
  if (table == nullptr || size < 0) return 0;
  std::int32_t count = size == 0 ? kDefaultBucketCount : size;
  auto** buckets = static_cast<HashEntry**>(VtCalloc(static_cast<std::size_t>(count), sizeof(HashEntry*)));
  if (buckets == nullptr) return 0;
  for (std::int32_t i = 0; i < count; ++i) {
    buckets[i] = static_cast<HashEntry*>(VtCalloc(1, sizeof(HashEntry)));
    if (buckets[i] == nullptr) {
      for (std::int32_t j = 0; j < i; ++j) std::free(buckets[j]);
      std::free(buckets);
      return 0;
    }
  }
  table->buckets = buckets;
  table->bucketCount = count;
  return 1;
}

std::int32_t GetHashIndex(const HashTable* table, const char* key) {
  if (!Usable(table, key)) return -1;
  // Reduced at every step, so 64 bits never overflow whatever the key's length.
  std::int64_t h = 0;
  for (const char* c = key; *c != '\0'; ++c) {
    h = (h * 26 + static_cast<unsigned char>(*c)) % table->bucketCount;
  }
  return static_cast<std::int32_t>(h);
}

HashEntry* GetHashBucket(const HashTable* table, const char* key) {
  std::int32_t index = GetHashIndex(table, key);
  return index < 0 ? nullptr : table->buckets[index];
}

HashEntry* GetHashEntry(const HashTable* table, const char* key) {
  for (HashEntry* entry = GetHashBucket(table, key); entry != nullptr; entry = entry->next) {
    if (entry->name != nullptr && std::strcmp(entry->name, key) == 0) return entry;
  }
  return nullptr;
}

std::uint8_t PutHashValue(HashTable* table, const char* key, void* value) {
  HashEntry* head = GetHashBucket(table, key);
  if (head == nullptr) return 0;
  if (head->name == nullptr) {
    char* name = CopyKey(key);
    if (name == nullptr) return 0;
    head->name = name;
    head->value = value;
    return 1;
  }
  HashEntry* last = head;
  for (HashEntry* entry = head; entry != nullptr; entry = entry->next) {
    if (std::strcmp(entry->name, key) == 0) {
      entry->value = value;
      return 1;
    }
    last = entry;
  }
  auto* added = static_cast<HashEntry*>(VtCalloc(1, sizeof(HashEntry)));
  char* name = added == nullptr ? nullptr : CopyKey(key);
  if (name == nullptr) {
    std::free(added);
    return 0;
  }
  added->name = name;
  added->value = value;
  last->next = added;
  return 1;
}

std::uint8_t ContainsHashKey(const HashTable* table, const char* key) {
  return GetHashEntry(table, key) != nullptr ? 1 : 0;
}

void* GetHashValue(const HashTable* table, const char* key) {
  HashEntry* entry = GetHashEntry(table, key);
  return entry == nullptr ? nullptr : entry->value;
}

std::uint8_t RemoveHashKey(HashTable* table, const char* key) {
  std::int32_t index = GetHashIndex(table, key);
  if (index < 0) return 0;
  HashEntry* head = table->buckets[index];
  if (head->name != nullptr && std::strcmp(head->name, key) == 0) {
    if (head->next != nullptr) {
      // The successor becomes the bucket's head; the old head goes entirely.
      table->buckets[index] = head->next;
      std::free(head->name);
      std::free(head);
    } else {
      std::free(head->name);
      *head = HashEntry{};
    }
    return 1;
  }
  for (HashEntry* previous = head; previous->next != nullptr; previous = previous->next) {
    HashEntry* entry = previous->next;
    if (std::strcmp(entry->name, key) == 0) {
      previous->next = entry->next;
      std::free(entry->name);
      std::free(entry);
      return 1;
    }
  }
  return 0;
}

std::int32_t GetHashEntryCount(const HashTable* table) {
  if (table == nullptr || table->buckets == nullptr) return 0;
  std::int32_t count = 0;
  for (std::int32_t i = 0; i < table->bucketCount; ++i) {
    for (HashEntry* entry = table->buckets[i]; entry != nullptr; entry = entry->next) {
      if (entry->name != nullptr) ++count;
    }
  }
  return count;
}

char** GetHashKeys(const HashTable* table) {
  if (table == nullptr) return nullptr;
  std::int32_t count = GetHashEntryCount(table);
  auto** keys = static_cast<char**>(VtCalloc(static_cast<std::size_t>(count) + 1, sizeof(char*)));
  if (keys == nullptr) return nullptr;
  std::int32_t next = 0;
  for (std::int32_t i = 0; table->buckets != nullptr && i < table->bucketCount; ++i) {
    for (HashEntry* entry = table->buckets[i]; entry != nullptr; entry = entry->next) {
      if (entry->name != nullptr) keys[next++] = entry->name;
    }
  }
  return keys;
}

void FreeHashTable(HashTable* table) {
  if (table == nullptr || table->buckets == nullptr) return;
  for (std::int32_t i = 0; i < table->bucketCount; ++i) FreeChain(table->buckets[i]);
  std::free(table->buckets);
  table->buckets = nullptr;
  table->bucketCount = 0;
}

std::uint8_t MergeHashTable(const HashTable* source, HashTable* target) {
  if (source == nullptr || target == nullptr) return 0;
  char** keys = GetHashKeys(source);
  if (keys == nullptr) return 0;
  std::uint8_t result = 1;
  for (char** key = keys; *key != nullptr && result == 1; ++key) {
    if (GetHashValue(target, *key) == nullptr) result = PutHashValue(target, *key, GetHashValue(source, *key));
  }
  std::free(keys);
  return result;
}
