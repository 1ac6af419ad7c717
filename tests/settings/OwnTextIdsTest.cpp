// Every text of our own the sources ask for is in the shipped catalogue, in all
// three language ranges, with the placeholders of its English text. The sources
// are read as text: an id is an integer, a constant made of them and of other
// constants (`settings::kOwnTextFirmware + 3`), or a call of a constexpr function
// that returns such a sum (`CliText(12)`). An OwnText call whose id or English
// text cannot be worked out fails the test, so that new code keeps to these forms.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "settings/TextCatalogue.h"

namespace korvane::settings {
namespace {

namespace fs = std::filesystem;

// Where OwnText is declared and defined: none of its calls there name a text.
const std::set<std::string> kOwnTextItself = {"settings/OwnText.h", "settings/OwnText.cpp"};

// Calls that pass on an id and an English text their callers gave. The callers
// (`Fail(kTextBusy, "...")`, `{kTextSyncAfter, "..."}`) are found as any other
// bracket that opens with an own-text id and a literal.
const std::set<std::pair<std::string, std::string>> kForwarders = {
    {"cli/Help.cpp", "wording.id"},
    {"firmware/protocol/Stm32Bootloader.cpp", "textId"},
    {"history/History_posix.cpp", "id"},
    {"history/History_win32.cpp", "id"},
};

struct Source {
    std::string code;  // comments blanked out, line breaks kept
    std::set<std::string> includes;
};

bool IsWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Comments become blanks; string and character literals stay as written.
std::string BlankComments(const std::string& text)
{
    std::string code = text;
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (code.compare(i, 2, "//") == 0) {
            for (; i < code.size() && code[i] != '\n'; ++i) code[i] = ' ';
        } else if (code.compare(i, 2, "/*") == 0) {
            const std::size_t end = std::min(code.find("*/", i + 2) + 2, code.size());
            for (; i < end; ++i) code[i] = code[i] == '\n' ? '\n' : ' ';
            --i;
        } else if (code[i] == '"' || (code[i] == '\'' && (i == 0 || !IsWordChar(code[i - 1])))) {
            for (const char quote = code[i++]; i < code.size() && code[i] != quote; ++i) {
                if (code[i] == '\\') ++i;
            }
        }
    }
    return code;
}

std::string Trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// The top-level parts of the bracket opened at code[open], split at commas.
std::vector<std::string> Arguments(const std::string& code, std::size_t open)
{
    std::vector<std::string> parts;
    std::size_t start = open + 1;
    int depth = 0;
    for (std::size_t i = open + 1; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"' || c == '\'') {
            for (++i; i < code.size() && code[i] != c; ++i) {
                if (code[i] == '\\') ++i;
            }
        } else if (c == '(' || c == '{' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == '}' || c == ']') && depth-- == 0) {
            parts.push_back(Trim(std::string_view(code).substr(start, i - start)));
            return parts;
        } else if (c == ',' && depth == 0) {
            parts.push_back(Trim(std::string_view(code).substr(start, i - start)));
            start = i + 1;
        }
    }
    return {};
}

// Adjacent string literals joined, as written; none when `text` is not only those.
std::optional<std::string> Literal(const std::string& text)
{
    static const std::regex piece(R"re(\s*(?:u8)?"((?:[^"\\]|\\.)*)"\s*)re");
    std::string joined;
    auto it = text.cbegin();
    for (std::smatch m; it != text.cend(); it = m[0].second) {
        if (!std::regex_search(it, text.cend(), m, piece, std::regex_constants::match_continuous))
            return std::nullopt;
        joined += m[1].str();
    }
    return text.empty() ? std::nullopt : std::optional(joined);
}

// `c ? a : b` as {a, b}; anything else as itself.
std::vector<std::string> Alternatives(const std::string& text)
{
    static const std::regex ternary(R"re(^[^?"]+\?([\s\S]+[^:]):([^:][\s\S]*)$)re");
    std::smatch m;
    if (!std::regex_match(text, m, ternary)) return {text};
    return {Trim(m[1].str()), Trim(m[2].str())};
}

struct IdValue {
    long long value = 0;
    bool own = false;  // made from one of settings' kOwnText bases
};

// The integer constants and one-line constexpr functions of every source, and
// the value of an id expression as the source that holds it sees them.
class Resolver {
public:
    explicit Resolver(const std::map<std::string, Source>& sources) : m_sources(sources)
    {
        static const std::regex definition(
            R"re(constexpr\s+(?:std::)?int32_t\s+(\w+)\s*(?:=\s*([^;{]+)|\(\s*(?:std::)?int32_t\s+(\w+)\s*\)\s*\{\s*return\s+([^;]+));)re");
        for (const auto& [name, source] : sources) {
            for (std::sregex_iterator it(source.code.begin(), source.code.end(), definition), end;
                 it != end; ++it) {
                const std::smatch& m = *it;
                m_definitions[m[1]].push_back({name, m[3], m[2].matched ? m[2] : m[4]});
            }
        }
    }

    // `file` and every project header it includes, directly or not.
    std::set<std::string> Visible(const std::string& file) const
    {
        std::set<std::string> seen;
        std::vector<std::string> todo = {file};
        while (!todo.empty()) {
            const std::string next = todo.back();
            todo.pop_back();
            const auto source = m_sources.find(next);
            if (source == m_sources.end() || !seen.insert(next).second) continue;
            todo.insert(todo.end(), source->second.includes.begin(), source->second.includes.end());
        }
        return seen;
    }

    // A sum of integers, constants and calls of those functions with an integer
    // expression; a qualified name counts by its last part.
    std::optional<IdValue> Evaluate(const std::string& expression,
                                    const std::set<std::string>& visible, int depth = 0) const
    {
        static const std::regex number(R"re(^\s*(\d+)\s*$)re");
        static const std::regex name(R"re(^\s*(?:\w+::)*(\w+)\s*(?:\(([^()]*)\))?\s*$)re");
        std::vector<std::string> terms = {""};
        for (int nesting = 0; char c : expression) {
            nesting += c == '(' ? 1 : c == ')' ? -1 : 0;
            if (c == '+' && nesting == 0)
                terms.emplace_back();
            else
                terms.back() += c;
        }
        std::smatch m;
        if (terms.size() > 1) {
            IdValue total;
            for (const std::string& term : terms) {
                const std::optional<IdValue> value = Evaluate(term, visible, depth);
                if (!value) return std::nullopt;
                total = {total.value + value->value, total.own || value->own};
            }
            return total;
        }
        if (std::regex_match(expression, m, number)) return IdValue{std::stoll(m[1]), false};
        if (depth > kMaxDepth || !std::regex_match(expression, m, name)) return std::nullopt;
        const std::optional<Definition> definition = Find(m[1], visible);
        if (!definition || definition->parameter.empty() == m[2].matched) return std::nullopt;
        std::string body = definition->expression;
        if (m[2].matched) {
            const std::optional<IdValue> argument = Evaluate(m[2], visible, depth + 1);
            if (!argument) return std::nullopt;
            body = std::regex_replace(body, std::regex("\\b" + definition->parameter + "\\b"),
                                      std::to_string(argument->value));
        }
        std::optional<IdValue> value = Evaluate(body, visible, depth + 1);
        if (value && m[1].str().starts_with("kOwnText")) value->own = true;
        return value;
    }

private:
    struct Definition {
        std::string file;
        std::string parameter;  // empty for a constant
        std::string expression;
    };
    static constexpr int kMaxDepth = 16;

    // The one definition of `name` the visible sources hold.
    std::optional<Definition> Find(const std::string& name,
                                   const std::set<std::string>& visible) const
    {
        std::optional<Definition> found;
        const auto all = m_definitions.find(name);
        if (all == m_definitions.end()) return std::nullopt;
        for (const Definition& definition : all->second) {
            if (!visible.contains(definition.file)) continue;
            if (found && found->expression != definition.expression) return std::nullopt;
            found = definition;
        }
        return found;
    }

    const std::map<std::string, Source>& m_sources;
    std::map<std::string, std::vector<Definition>> m_definitions;
};

std::map<std::string, Source> ReadSources(const fs::path& root)
{
    static const std::regex include(R"re(#\s*include\s*"([^"]+)")re");
    std::map<std::string, Source> sources;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        const fs::path& path = it->path();
        const std::string leaf = path.filename().string();
        if (it->is_directory()) {
            // The tests, hidden folders and build trees hold no program text.
            if (leaf == "tests" || leaf.starts_with(".") || fs::exists(path / "CMakeCache.txt"))
                it.disable_recursion_pending();
            continue;
        }
        if (path.extension() != ".cpp" && path.extension() != ".h") continue;
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        Source source{BlankComments(text.str()), {}};
        for (std::sregex_iterator m(source.code.begin(), source.code.end(), include), end; m != end;
             ++m) {
            source.includes.insert((*m)[1]);
        }
        sources[path.lexically_relative(root).generic_string()] = std::move(source);
    }
    return sources;
}

std::set<std::string> Placeholders(std::string_view text)
{
    std::set<std::string> found;
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] == '{' && std::isdigit(static_cast<unsigned char>(text[i + 1])) != 0 &&
            text[i + 2] == '}')
            found.insert(std::string(text.substr(i, 3)));
    }
    return found;
}

TEST(OwnTextIdsTest, EveryTextAskedForIsInEveryRangeWithItsPlaceholders)
{
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    // It reads source text, which no sanitizer has more to say about; the
    // regular expressions' recursion outgrows a sanitizer's stack on long files.
    GTEST_SKIP() << "the plain build checks the sources' texts";
#endif
    const std::map<std::string, Source> sources = ReadSources(KORVANE_SOURCE_DIR);
    const Resolver resolver(sources);
    std::map<long long, std::pair<std::string, std::string>> uses;  // where, English
    std::vector<std::string> problems;

    for (const auto& [name, source] : sources) {
        const std::set<std::string> visible = resolver.Visible(name);
        const std::string& code = source.code;
        for (std::size_t open = 0; open < code.size(); ++open) {
            if (code[open] != '(' && code[open] != '{') continue;
            const auto where = [&] {
                return name + ":" +
                       std::to_string(1 + std::count(code.begin(), code.begin() + open, '\n'));
            };
            const bool ownTextCall = open >= 7 && code.compare(open - 7, 7, "OwnText") == 0 &&
                                     (open == 7 || !IsWordChar(code[open - 8])) &&
                                     !kOwnTextItself.contains(name);
            const std::vector<std::string> args = Arguments(code, open);
            const std::vector<std::string> ids = Alternatives(args.empty() ? "" : args[0]);
            const std::vector<std::string> texts = Alternatives(args.size() < 2 ? "" : args[1]);
            bool resolved = ids.size() == texts.size();
            for (std::size_t i = 0; resolved && i < ids.size(); ++i) {
                const std::optional<IdValue> id = resolver.Evaluate(ids[i], visible);
                const std::optional<std::string> english = Literal(texts[i]);
                resolved = id && english && (id->own || ownTextCall);
                if (!resolved) break;
                const auto [use, first] = uses.try_emplace(id->value, where(), *english);
                if (!first && use->second.second != *english) {
                    problems.push_back(where() + ": id " + std::to_string(id->value) + " is \"" +
                                       *english + "\" here, \"" + use->second.second + "\" at " +
                                       use->second.first);
                }
            }
            if (ownTextCall && !resolved && !kForwarders.contains({name, ids[0]})) {
                problems.push_back(where() + ": cannot tell the id and English text of OwnText(" +
                                   ids[0] + ", ...)");
            }
        }
    }
    // A wrong source folder would find nothing and prove nothing.
    ASSERT_GT(uses.size(), 100U) << KORVANE_SOURCE_DIR;

    const CatalogueSection catalogue(KORVANE_SHIPPED_CATALOGUE, TextCatalogue::kSection);
    for (std::uint8_t language : {kLanguageChinese, kLanguageEnglish, std::uint8_t{2}}) {
        for (const auto& [id, use] : uses) {
            const auto& [where, english] = use;
            const std::string key = TextKey(LanguageBase(language), static_cast<std::int32_t>(id));
            const std::string_view text = catalogue.Find(key);
            if (text.empty()) {
                problems.push_back(where + ": " + key + " missing (\"" + english + "\")");
            } else if (Placeholders(text) != Placeholders(english)) {
                problems.push_back(where + ": " + key + " has other placeholders than \"" +
                                   english + "\": " + std::string(text));
            }
        }
    }
    std::string list;
    for (const std::string& problem : problems) list += problem + "\n";
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems:\n" << list;
}

}  // namespace
}  // namespace korvane::settings
