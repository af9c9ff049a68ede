#include "tests/support/fixtures.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/file.h"
#include "platform/locale_facts.h"

namespace xbtest {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lmtest-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

EngineTest::EngineTest() : m_engine(std::make_unique<xb::Engine>(xb::platform::LocaleFactsFromName("en_US"))) {
    xb::SetErrorTrap(false);
    xb::platform::ClearFaults();
}

EngineTest::~EngineTest() {
    xb::platform::ClearFaults();
    m_engine.reset();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace xbtest
