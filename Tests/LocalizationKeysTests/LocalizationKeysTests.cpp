#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "LookupScanner.h"
#include "Platform/Foundation/StringsTable.h"
#include "SourceTokenizer.h"

// The inventory of keys (Tests/Fixtures/LocalizationKeys.txt) against the English table and
// against the sources. The sources are read at test time, so a key misspelt in the code is
// caught even when the table carries the same misspelling.
//
// Lookups the scan recognises (first argument a string literal, adjacent literals joined):
// - C++ under Sources/: L10n::string(…), L10n::format(…), L10n::formatArguments(…) and the four
//   VentrellaError kinds that carry a text (invalidConfiguration, commandFailed, parseFailed,
//   unsupportedHardware): that text is looked up when the error is described;
// - QML under Sources/: qsTr(…), which L10nTranslator resolves through L10n;
// - the file-local helpers in `keyHelpers` below, whose literal first argument is a key.
// A first argument that is a constant's name (or std::string(name)) is resolved to the literal
// the constant is given in the same file or its header/source companion. An argument that is
// itself a lookup (L10n::…) needs nothing more. Every other argument must be listed in
// `indirectLookups`, which says where its keys are written; an unlisted one fails the test, so a
// new way of passing a key is never left unchecked.

namespace {

namespace fs = std::filesystem;
using platform::foundation::StringsTable;
using ventrella::tests::findCalls;
using ventrella::tests::literalsNamed;
using ventrella::tests::LookupCall;
using ventrella::tests::referencedName;
using ventrella::tests::SourceLanguage;
using ventrella::tests::SourceToken;
using ventrella::tests::tokenize;

const fs::path sourceRoot = fs::path(VENTRELLA_SOURCE_DIR);
const fs::path sources = sourceRoot / "Sources";

const std::vector<std::string> cppLookups = {
    "L10n::string",
    "L10n::format",
    "L10n::formatArguments",
    "VentrellaError::invalidConfiguration",
    "VentrellaError::commandFailed",
    "VentrellaError::parseFailed",
    "VentrellaError::unsupportedHardware",
};
const std::vector<std::string> qmlLookups = {"qsTr"};

// Helpers of one file that hand their first argument on to a lookup.
struct KeyHelper {
    std::string file;  // below Sources/
    std::string callee;
};
const std::vector<KeyHelper> keyHelpers = {
    {"Ventrella/Core/GuardSettings.cpp", "reject"},
    {"Ventrella/Diagnostics/DiagnosticLog.cpp", "lookup_"},
    {"Ventrella/UI/ThermalThresholdScalePresenter.cpp", "thresholdLabel"},
    {"Ventrella/UI/GuardSectionsPresenter.cpp", "detail"},
};

// Lookups whose key is not written at the call, and where their keys are: in `constants`
// (given their literal in the same file or its companion), in the argument's own literals (a
// fallback), in a helper above, in another recognised lookup, or nowhere, for a text made at run
// time that is shown as it stands when the table has no entry for it.
struct IndirectLookup {
    std::string file;  // below Sources/
    std::string callee;
    std::string argument;  // as LookupCall spells it
    std::vector<std::string> constants;
    bool argumentLiteralsAreKeys = false;
};
const std::vector<IndirectLookup> indirectLookups = {
    // The carried text: the literals given to the VentrellaError kinds (recognised above) and
    // the fixed sentences of the two kinds without a text.
    {"Ventrella/Core/VentrellaError.cpp",
     "L10n::string",
     "text_",
     {"externalManualControl", "anotherInstance"}},
    // The QML's qsTr texts (recognised above).
    {"Ventrella/UI/L10nTranslator.cpp", "L10n::string", "sourceText", {}},
    // The report's texts, through the helper lookup_.
    {"Ventrella/Diagnostics/DiagnosticLog.cpp", "L10n::string", "text", {}},
    // The gauge's level titles, through the helper thresholdLabel.
    {"Ventrella/UI/ThermalThresholdScalePresenter.cpp", "L10n::string", "title", {}},
    // The confirmation details, through the helper detail.
    {"Ventrella/UI/GuardSectionsPresenter.cpp", "L10n::format", "key", {}},
    // An error's own description, looked up once more.
    {"Ventrella/App/Model/ErrorText.cpp", "L10n::string", "localizedDescription ( error )", {}},
    // A failed save's description, looked up once more for the status line.
    {"Ventrella/App/Model/AppModelSettingsAndTermination.cpp", "L10n::string", "description", {}},
    // The preflight's reason (already looked up), or the fallback written here.
    {"Ventrella/App/Model/AppModelControlRequests.cpp",
     "VentrellaError::unsupportedHardware",
     "preflight . capabilities . reason . value_or ( \"Fan control is unavailable on this "
     "hardware.\" )",
     {},
     true},
    // Why the hardware cannot be controlled.
    {"Ventrella/Hardware/SMCReadClient.cpp",
     "L10n::string",
     "* refusal",
     {"noFanReason", "invalidFanReason", "unsafeTargetFormatReason"}},
    // Validation messages, through the helper reject.
    {"Ventrella/Core/GuardSettings.cpp",
     "VentrellaError::invalidConfiguration",
     "std :: move ( text )",
     {}},
    // The installer's own errors, through its helper commandFailed.
    {"Ventrella/Hardware/HelperInstaller.cpp",
     "VentrellaError::commandFailed",
     "std :: string ( text )",
     {"kUnsupportedState", "kNotEnabled", "kNotUnregistered", "kNotInBundle"}},
    // A script's own output, or the fallback when it printed nothing.
    {"Ventrella/Hardware/HelperInstaller.cpp",
     "VentrellaError::commandFailed",
     "output . empty ( ) ? fallbackError : output",
     {"kLegacyNotRemoved", "kInstallationCancelled", "kRemovalCancelled"}},
    {"Ventrella/Hardware/HelperResponseDecoder.cpp",
     "VentrellaError::commandFailed",
     "carriesOtherVersion ( data ) ? versionMismatchText : invalidResponseText",
     {"versionMismatchText", "invalidResponseText"}},
    // The helper's own message: its fixed texts are the inventory's helper and hardware keys.
    {"Ventrella/Hardware/HelperResponseDecoder.cpp",
     "VentrellaError::commandFailed",
     "* reply -> errorMessage ( )",
     {}},
    // The connection's own error descriptions.
    {"Ventrella/Hardware/HelperClient.cpp",
     "VentrellaError::commandFailed",
     "error . description ( )",
     {}},
    {"Ventrella/Hardware/HelperClient.cpp",
     "VentrellaError::commandFailed",
     "error . what ( )",
     {}},
};

// The inventory's area of the texts that the helper and the hardware layers write.
constexpr std::string_view helperErrorArea = "Error messages of the helper and the hardware layers";

struct InventoryKey {
    std::string text;
    std::string area;
    int line;
};

std::string readFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    EXPECT_TRUE(stream) << path;
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

// One key a line; "#" lines are comments, the latest one names the area of the keys below it.
std::vector<InventoryKey> loadInventory() {
    std::vector<InventoryKey> keys;
    std::istringstream lines(readFile(sourceRoot / "Tests/Fixtures/LocalizationKeys.txt"));
    std::string area;
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.empty()) {
            continue;
        }
        if (line.starts_with("#")) {
            area = line.size() > 2 ? line.substr(2) : "";
            continue;
        }
        keys.push_back({line, area, number});
    }
    return keys;
}

StringsTable englishTable() {
    const auto path =
        fs::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents/Resources/en.lproj" / "Localizable.strings";
    auto table = StringsTable::load(path);
    EXPECT_TRUE(table.has_value()) << path;
    return table.value_or(StringsTable());
}

struct SourceFile {
    fs::path path;  // below Sources/
    std::vector<SourceToken> tokens;
};

std::vector<SourceFile> sourceFiles(const fs::path& root) {
    std::vector<SourceFile> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto extension = entry.path().extension();
        if (!entry.is_regular_file() ||
            (extension != ".cpp" && extension != ".h" && extension != ".qml")) {
            continue;
        }
        const auto language = extension == ".qml" ? SourceLanguage::qml : SourceLanguage::cpp;
        try {
            files.push_back(
                {fs::relative(entry.path(), sources), tokenize(readFile(entry.path()), language)});
        } catch (const std::runtime_error& error) {
            ADD_FAILURE() << entry.path() << ": " << error.what();
        }
    }
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.path < b.path; });
    return files;
}

// The literals given to `name` in `file` or in its companion (Foo.h for Foo.cpp and back).
std::vector<std::pair<std::string, std::string>> constantTexts(
    const std::map<fs::path, const SourceFile*>& files, const fs::path& file,
    const std::string& name) {
    std::vector<std::pair<std::string, std::string>> texts;
    auto companion = file;
    companion.replace_extension(file.extension() == ".h" ? ".cpp" : ".h");
    for (const auto& path : {file, companion}) {
        const auto found = files.find(path);
        if (found == files.end()) {
            continue;
        }
        for (const auto& literal : literalsNamed(found->second->tokens, name)) {
            texts.emplace_back(literal.text,
                               path.string() + ":" + std::to_string(literal.line) + " " + name);
        }
    }
    return texts;
}

// What the scan of the application's sources found.
struct Scan {
    // Every key found, with where it is written.
    std::set<std::pair<std::string, std::string>> keys;
    // Non-literal lookups that neither resolve nor are listed.
    std::vector<std::string> unaccounted;
    // Listed lookups and constants the sources no longer have.
    std::vector<std::string> stale;
};

Scan scanSources() {
    Scan scan;
    const auto files = sourceFiles(sources);
    std::map<fs::path, const SourceFile*> byPath;
    for (const auto& file : files) {
        byPath[file.path] = &file;
    }
    std::set<const IndirectLookup*> used;
    for (const auto& file : files) {
        const bool qml = file.path.extension() == ".qml";
        const auto where = [&](int line) {
            return file.path.string() + ":" + std::to_string(line);
        };
        for (const auto& call : findCalls(file.tokens, qml ? qmlLookups : cppLookups)) {
            if (call.key) {
                scan.keys.emplace(*call.key, where(call.line));
                continue;
            }
            if (call.argument.starts_with("L10n ::") ||
                call.argument.starts_with("core :: L10n ::")) {
                continue;
            }
            if (const auto name = referencedName(call.argument)) {
                const auto texts = constantTexts(byPath, file.path, *name);
                if (!texts.empty()) {
                    scan.keys.insert(texts.begin(), texts.end());
                    continue;
                }
            }
            const auto listed = std::find_if(
                indirectLookups.begin(), indirectLookups.end(), [&](const IndirectLookup& entry) {
                    return entry.file == file.path && entry.callee == call.callee &&
                           entry.argument == call.argument;
                });
            if (listed == indirectLookups.end()) {
                scan.unaccounted.push_back(where(call.line) + " " + call.callee + "(" +
                                           call.argument + ")");
                continue;
            }
            used.insert(&*listed);
            if (listed->argumentLiteralsAreKeys) {
                for (const auto& literal : call.literals) {
                    scan.keys.emplace(literal, where(call.line));
                }
            }
        }
        for (const auto& helper : keyHelpers) {
            if (helper.file != file.path) {
                continue;
            }
            const auto calls = findCalls(file.tokens, {helper.callee});
            const auto literal = std::count_if(calls.begin(), calls.end(),
                                               [](const LookupCall& call) { return call.key; });
            if (literal == 0) {
                scan.stale.push_back(helper.file + ": no literal passed to " + helper.callee);
            }
            for (const auto& call : calls) {
                if (call.key) {
                    scan.keys.emplace(*call.key, where(call.line));
                }
            }
        }
    }
    for (const auto& entry : indirectLookups) {
        if (!used.contains(&entry)) {
            scan.stale.push_back(entry.file + ": " + entry.callee + "(" + entry.argument + ")");
        }
        for (const auto& name : entry.constants) {
            const auto texts = constantTexts(byPath, entry.file, name);
            if (texts.empty()) {
                scan.stale.push_back(entry.file + ": constant " + name);
            }
            scan.keys.insert(texts.begin(), texts.end());
        }
    }
    return scan;
}

TEST(LocalizationKeys, TheEnglishTableHoldsExactlyTheInventory) {
    const auto inventory = loadInventory();
    ASSERT_FALSE(inventory.empty());
    std::set<std::string> keys;
    for (const auto& key : inventory) {
        EXPECT_TRUE(keys.insert(key.text).second)
            << "line " << key.line << " repeats the key: " << key.text;
        EXPECT_EQ(key.text.find_first_of("\t\r"), std::string::npos) << "line " << key.line;
        EXPECT_FALSE(key.text.starts_with(" ") || key.text.ends_with(" "))
            << "line " << key.line << " has white space around the key: [" << key.text << "]";
    }
    const auto english = englishTable();
    for (const auto& key : keys) {
        EXPECT_TRUE(english.value(key).has_value()) << "the English table lacks: " << key;
    }
    for (const auto& [key, value] : english.entries()) {
        EXPECT_TRUE(keys.contains(key))
            << "the English table has a key the inventory lacks: " << key;
    }
}

TEST(LocalizationKeys, EveryKeyTheApplicationLooksUpIsInTheEnglishTable) {
    const auto scan = scanSources();
    // The scan reads the whole application: a scan that finds little is itself broken.
    EXPECT_GE(scan.keys.size(), 40u);
    const auto english = englishTable();
    for (const auto& [key, where] : scan.keys) {
        EXPECT_TRUE(english.value(key).has_value())
            << where << " looks up a text the English table lacks: " << key;
    }
}

TEST(LocalizationKeys, EveryLookupWithoutALiteralKeyIsAccountedFor) {
    const auto scan = scanSources();
    for (const auto& lookup : scan.unaccounted) {
        ADD_FAILURE() << lookup
                      << ": its key is not written at the call; give it a constant or list it "
                         "in indirectLookups with where its keys are";
    }
    for (const auto& entry : scan.stale) {
        ADD_FAILURE() << "listed but not in the sources: " << entry;
    }
}

// A key written in QML outside qsTr would be shown in English whatever the language.
TEST(LocalizationKeys, TheViewsShowNoKeyWithoutLookingItUp) {
    std::set<std::string> keys;
    for (const auto& key : loadInventory()) {
        keys.insert(key.text);
    }
    int views = 0;
    for (const auto& file : sourceFiles(sources)) {
        if (file.path.extension() != ".qml") {
            continue;
        }
        ++views;
        const auto& tokens = file.tokens;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const bool lookedUp =
                i >= 2 && tokens[i - 1].text == "(" && tokens[i - 2].text == "qsTr";
            if (tokens[i].kind == SourceToken::Kind::string && !lookedUp &&
                keys.contains(tokens[i].text)) {
                ADD_FAILURE() << file.path.string() << ":" << tokens[i].line
                              << " shows a key without looking it up: " << tokens[i].text;
            }
        }
    }
    EXPECT_GT(views, 0);
}

// The helper's and the hardware layers' messages reach the interface as they wrote them and
// are translated only when a key matches them exactly.
TEST(LocalizationKeys, HelperAndHardwareKeysAreTextsThoseLayersWrite) {
    std::set<std::string> literals;
    for (const auto& file : sourceFiles(sources)) {
        if (*file.path.begin() == "Ventrella") {
            continue;
        }
        for (const auto& token : file.tokens) {
            if (token.kind == SourceToken::Kind::string) {
                literals.insert(token.text);
            }
        }
    }
    const auto written = [&](const std::string& key) {
        // A whole literal, or a string inside one (the helper's fixed JSON reply).
        return literals.contains(key) ||
               std::any_of(literals.begin(), literals.end(), [&](const std::string& literal) {
                   return literal.find("\"" + key + "\"") != std::string::npos;
               });
    };
    int checked = 0;
    for (const auto& key : loadInventory()) {
        if (key.area == helperErrorArea) {
            ++checked;
            EXPECT_TRUE(written(key.text)) << "no layer below the application writes: " << key.text;
        }
    }
    EXPECT_GT(checked, 0) << "the inventory has no area \"" << helperErrorArea << "\"";
}

}  // namespace
