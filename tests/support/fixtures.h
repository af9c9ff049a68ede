// Shared fixtures: a fresh engine per test and a private temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/core/engine.h"

namespace xbtest {

// A scratch directory removed with everything in it when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A fresh engine with US English settings (date format 0, "." decimals) and trapping off, so failures
// are recorded instead of ending the test process.
class EngineTest : public ::testing::Test {
protected:
    EngineTest();
    ~EngineTest() override;
    xb::Engine& engine() { return *m_engine; }

    TempDir tmp;
    std::unique_ptr<xb::Engine> m_engine;
};

// Writes bytes to a file, replacing it.
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);

}  // namespace xbtest
