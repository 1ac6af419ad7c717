// The numbered UI text catalogue Txt.ini: INI lookup (section "Pub", six-digit
// keys per language range) in UTF-8, UTF-16LE or GB18030.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvane::settings {

// Holds the catalogue path; every lookup reads the file again.
class CIniFile {
public:
    CIniFile() = default;
    explicit CIniFile(std::filesystem::path path) : m_path(std::move(path)) {}
    virtual ~CIniFile() = default;

    void SetPath(std::filesystem::path path) { m_path = std::move(path); }
    const std::filesystem::path& Path() const { return m_path; }

    // The value of `key` in `section` as UTF-8, cut to 259 UTF-16 units; empty
    // when the file, the section or the key is missing. Names match without
    // regard to case; the first matching key of the section wins.
    std::string GetString(std::string_view section, std::string_view key) const;
    // The same value, whole: for the program's own texts, which may be longer.
    std::string GetWholeString(std::string_view section, std::string_view key) const;

private:
    std::filesystem::path m_path;
};

// One section of a catalogue, read and decoded once: for lookups that come
// too often to read the file each time. A missing or unreadable file gives an
// empty section.
class CatalogueSection {
public:
    CatalogueSection() = default;
    CatalogueSection(const std::filesystem::path& path, std::string_view section);

    // What CIniFile::GetWholeString gives for `key` when the file is as it was
    // read: empty when the section has no such key.
    std::string_view Find(std::string_view key) const;

private:
    std::unordered_map<std::string, std::string> m_values;  // by key in lower case
};

// The language byte of Sys.dat: 0 Chinese, 1 English, any other value the
// third range (Traditional Chinese).
constexpr std::uint8_t kLanguageChinese = 0;
constexpr std::uint8_t kLanguageEnglish = 1;

// 0 -> 0, 1 -> 100000, any other value -> 800000.
std::int32_t LanguageBase(std::uint8_t language);

// "%06d" of base + id.
std::string TextKey(std::int32_t languageBase, std::int32_t id);

// Catalogue lookups for one language range.
class TextCatalogue {
public:
    static constexpr const char* kFileName = "Txt.ini";
    static constexpr const char* kSection = "Pub";

    TextCatalogue() = default;
    TextCatalogue(std::filesystem::path txtPath, std::uint8_t language);

    std::string GetText(std::string_view section, std::int32_t id) const;
    std::string GetWholeText(std::string_view section, std::int32_t id) const;
    std::int32_t LanguageBaseValue() const { return m_nLanguageBase; }
    const std::filesystem::path& Path() const { return m_iniFile.Path(); }

private:
    CIniFile m_iniFile;
    std::int32_t m_nLanguageBase = 0;
};

}  // namespace korvane::settings
