// Scope guards for the state a routine or a window sets on a table for one action: a while-condition, a
// filter, the locks it took, a busy flag. Each puts the state back when the action ends, also when it ends by
// an exception, so a failed action never leaves a table limited or a window refusing every later click.
#pragma once

#include <string>

#include "engine/dataset/xb_dataset.h"

namespace app {

// A while-condition for the guard's life; cleared at its end.
class WhileScope {
public:
    WhileScope(xb::TXbCDataSet& table, const std::string& condition) : m_table(table) {
        m_table.SetWhileTo(condition);
    }
    ~WhileScope() {
        try {
            m_table.SetWhileTo("");
        } catch (...) {
            // The table may be gone with the error that ended the scope; nothing is left to clear.
        }
    }
    WhileScope(const WhileScope&) = delete;
    WhileScope& operator=(const WhileScope&) = delete;

private:
    xb::TXbCDataSet& m_table;
};

// A filter for the guard's life; cleared at its end.
class FilterScope {
public:
    FilterScope(xb::TXbCDataSet& table, const std::string& condition) : m_table(table) {
        m_table.SetFilterTo(condition);
    }
    ~FilterScope() {
        try {
            m_table.SetFilterTo("");
        } catch (...) {
        }
    }
    FilterScope(const FilterScope&) = delete;
    FilterScope& operator=(const FilterScope&) = delete;

private:
    xb::TXbCDataSet& m_table;
};

// Releases the table's locks (record or append) when the scope ends, also by an exception.
class LockRelease {
public:
    explicit LockRelease(xb::TXbCDataSet& table) : m_table(table) {}
    ~LockRelease() {
        try {
            m_table.UnLock();
        } catch (...) {
        }
    }
    LockRelease(const LockRelease&) = delete;
    LockRelease& operator=(const LockRelease&) = delete;

private:
    xb::TXbCDataSet& m_table;
};

// The index's write lock held across several writes of one table (BeginIndexWrites): `held()` is false
// when it was refused. Released when the scope ends, also by an exception.
class IndexWritesScope {
public:
    explicit IndexWritesScope(xb::TXbCDataSet& table) : m_table(table), m_held(table.BeginIndexWrites()) {}
    ~IndexWritesScope() {
        if (!m_held) return;
        try {
            m_table.EndIndexWrites();
        } catch (...) {
        }
    }
    bool held() const { return m_held; }
    IndexWritesScope(const IndexWritesScope&) = delete;
    IndexWritesScope& operator=(const IndexWritesScope&) = delete;

private:
    xb::TXbCDataSet& m_table;
    bool m_held;
};

// A one-byte busy flag: `entered()` is false when the flag was already set (the click is ignored);
// otherwise the flag is set for the guard's life.
class BusyFlag {
public:
    explicit BusyFlag(bool& flag) : m_flag(flag), m_entered(!flag) { m_flag = true; }
    ~BusyFlag() {
        if (m_entered) m_flag = false;
    }
    bool entered() const { return m_entered; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& m_flag;
    bool m_entered;
};

}  // namespace app
