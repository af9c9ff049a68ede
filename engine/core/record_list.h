// The records of a virtual file in their order, reachable by position. Every virtual-file operation
// works by position (go to record n, insert after record p, remove record n), and a sorted insertion
// probes a dozen positions, so the list is kept as a tree balanced by random priorities and ordered by
// position: finding, inserting and removing a record all cost O(log n) instead of a walk along a chain.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace xb {

// One record: its bytes as the typed record buffer held them.
struct RecordNode {
    std::vector<uint8_t> data;

    // The tree's links; only RecordList touches them.
    RecordNode* left = nullptr;
    RecordNode* right = nullptr;
    uint32_t priority = 0;
    int32_t size = 1;  // nodes in this subtree
};

class RecordList {
public:
    RecordList() = default;
    ~RecordList() { clear(); }
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;

    int32_t count() const { return m_root ? m_root->size : 0; }
    // The record at pos (1-based); nullptr outside 1..count.
    RecordNode* at(int32_t pos) const;
    // Links node so that it becomes record pos (1..count + 1); the records from pos on move up one.
    void insertAt(int32_t pos, std::unique_ptr<RecordNode> node);
    // Unlinks record pos and hands it over; nullptr outside 1..count.
    std::unique_ptr<RecordNode> removeAt(int32_t pos);
    // Frees every record.
    void clear();
    // The records in order (still owned by the list).
    std::vector<RecordNode*> inOrder() const;
    // Forgets every record without freeing it: the caller has taken ownership of them (see adopt).
    void releaseAll() { m_root = nullptr; }
    // Frees what the list holds and takes the given records, in that order, as its own.
    void adopt(const std::vector<RecordNode*>& nodes);
    void swap(RecordList& other) noexcept;

private:
    uint32_t nextPriority();

    RecordNode* m_root = nullptr;
    uint64_t m_seed = 0x9E3779B97F4A7C15ull;
};

}  // namespace xb
