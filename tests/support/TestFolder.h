#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// A folder of a test's own under the temporary folder, removed with all it
// holds when the test ends, and whole-file reads and writes.
class TestFolder {
public:
    explicit TestFolder(const std::string& strStem) {
        std::string strTemplate =
            (std::filesystem::temp_directory_path() / ("tallyvine-" + strStem + "-XXXXXX"))
                .string();
        if (mkdtemp(strTemplate.data()) != nullptr) {
            m_path = strTemplate;
        }
    }
    ~TestFolder() {
        if (!m_path.empty()) {
            std::error_code error;
            std::filesystem::remove_all(m_path, error);
        }
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string PathOf(const std::string& strName) const { return (m_path / strName).string(); }

    // Every name in the folder, sorted, so that stray partial files show.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Writes the bytes as the folder's file strName; answers its path.
    std::string Write(const std::string& strName, const std::string& strBytes) const {
        WriteFile(PathOf(strName), strBytes);
        return PathOf(strName);
    }
    static void WriteFile(const std::string& strPath, const std::string& strBytes) {
        std::ofstream(strPath, std::ios::binary) << strBytes;
    }
    static std::string Read(const std::string& strPath) {
        std::ifstream in(strPath, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

private:
    std::filesystem::path m_path;
};
