#include "engine/core/record_list.h"

#include <utility>

namespace xb {

namespace {

int32_t sizeOf(const RecordNode* n) {
    return n ? n->size : 0;
}

void update(RecordNode* n) {
    n->size = 1 + sizeOf(n->left) + sizeOf(n->right);
}

// Splits t into its first k records and the rest.
void split(RecordNode* t, int32_t k, RecordNode*& first, RecordNode*& rest) {
    if (!t) {
        first = rest = nullptr;
        return;
    }
    if (sizeOf(t->left) < k) {
        split(t->right, k - sizeOf(t->left) - 1, t->right, rest);
        update(t);
        first = t;
    } else {
        split(t->left, k, first, t->left);
        update(t);
        rest = t;
    }
}

RecordNode* merge(RecordNode* a, RecordNode* b) {
    if (!a) return b;
    if (!b) return a;
    if (a->priority >= b->priority) {
        a->right = merge(a->right, b);
        update(a);
        return a;
    }
    b->left = merge(a, b->left);
    update(b);
    return b;
}

}  // namespace

uint32_t RecordList::nextPriority() {
    // splitmix64: a fixed seed keeps runs repeatable; the shape never shows outside the list.
    uint64_t z = (m_seed += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

RecordNode* RecordList::at(int32_t pos) const {
    if (pos < 1 || pos > count()) return nullptr;
    RecordNode* n = m_root;
    while (n) {
        const int32_t left = sizeOf(n->left);
        if (pos <= left) {
            n = n->left;
        } else if (pos == left + 1) {
            return n;
        } else {
            pos -= left + 1;
            n = n->right;
        }
    }
    return nullptr;
}

void RecordList::insertAt(int32_t pos, std::unique_ptr<RecordNode> node) {
    if (!node) return;
    if (pos < 1) pos = 1;
    if (pos > count() + 1) pos = count() + 1;
    RecordNode* n = node.release();
    n->left = n->right = nullptr;
    n->size = 1;
    n->priority = nextPriority();
    RecordNode *a, *b;
    split(m_root, pos - 1, a, b);
    m_root = merge(merge(a, n), b);
}

std::unique_ptr<RecordNode> RecordList::removeAt(int32_t pos) {
    if (pos < 1 || pos > count()) return nullptr;
    RecordNode *a, *rest, *mid, *c;
    split(m_root, pos - 1, a, rest);
    split(rest, 1, mid, c);
    m_root = merge(a, c);
    mid->left = mid->right = nullptr;
    mid->size = 1;
    return std::unique_ptr<RecordNode>(mid);
}

void RecordList::clear() {
    std::vector<RecordNode*> stack;
    if (m_root) stack.push_back(m_root);
    m_root = nullptr;
    while (!stack.empty()) {
        RecordNode* n = stack.back();
        stack.pop_back();
        if (n->left) stack.push_back(n->left);
        if (n->right) stack.push_back(n->right);
        delete n;
    }
}

std::vector<RecordNode*> RecordList::inOrder() const {
    std::vector<RecordNode*> out;
    out.reserve(static_cast<size_t>(count()));
    std::vector<RecordNode*> stack;
    RecordNode* n = m_root;
    while (n || !stack.empty()) {
        while (n) {
            stack.push_back(n);
            n = n->left;
        }
        n = stack.back();
        stack.pop_back();
        out.push_back(n);
        n = n->right;
    }
    return out;
}

void RecordList::adopt(const std::vector<RecordNode*>& nodes) {
    clear();
    for (RecordNode* n : nodes) insertAt(count() + 1, std::unique_ptr<RecordNode>(n));
}

void RecordList::swap(RecordList& other) noexcept {
    std::swap(m_root, other.m_root);
    std::swap(m_seed, other.m_seed);
}

}  // namespace xb
