// Where tests find committed fixtures and the shared conformance folder.
#pragma once

#include <filesystem>
#include <string>

namespace qm::test {

inline std::filesystem::path SourceDir() { return QM_SOURCE_DIR; }
inline std::filesystem::path FixtureDir() { return SourceDir() / "tests" / "fixtures"; }
// ../shared beside the checkout; tests that need it report themselves skipped when it is absent.
inline std::filesystem::path SharedDir() { return QM_SHARED_DIR; }

}  // namespace qm::test
