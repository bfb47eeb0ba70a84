// Hostile documents and damaged tables through vektrinctl: every refusal names the file,
// the record and the field, shows none of the JSON library's own text, ends "Nothing was
// imported." when it is an import, and leaves the table files byte for byte as they were.

#include "ctl/in_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace vektrin {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// An alias directory with a few tasks of long texts (so that the task table spans many pages),
// a resource and a silence period.
class Tables : public test::AliasDir {
  public:
    explicit Tables(int tasks = 3) {
        write([&](TDataCtrl& dm) {
            for (int i = 1; i <= tasks; ++i) {
                dm.Table1.append();
                dm.Table1AppName.setString("task " + std::to_string(i));
                dm.Table1Application.setString(std::string(100, 'x'));
                dm.Table1StartCondition.setString(std::string(200, '1'));
                dm.Table1.post();
            }
            dm.Table2.append();
            dm.Table2ResourceNo.setInteger(1);
            dm.Table2.post();
            dm.Table3.append();
            dm.Table3Interval.setInteger(2);
            dm.Table3.post();
        });
    }
};

std::string nested(int levels, const std::string& open, const std::string& close) {
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += open;
    for (int i = 0; i < levels; ++i)
        text += close;
    return text;
}

std::string tasksDocument(const std::string& records) {
    return R"({"Format": "vektrin-tables", "Version": 1, "Tasks": [)" + records + "]}";
}

// ----------------------------------------------------------------------- refused documents

struct Hostile {
    std::string label;
    std::string document;
    std::string message; // the whole first line after "doc.json: "
};

const std::string LongName(100000, 'a');

TEST(HostileDocument, IsRefusedByPlaceAndNothingIsWritten) {
    const Hostile cases[] = {
        {"50,000 levels of arrays", nested(50000, "[", "]"),
         "the document: nested deeper than 64 levels (line 1, column 65)"},
        {"50,000 levels in a field",
         tasksDocument(R"({"AppName": "deep", "Application": )" + nested(50000, "[", "]") + "}"),
         "Tasks record 1 (AppName \"deep\"), field \"Application\": nested deeper than 64 "
         "levels (line 1, column 150)"},
        {"50,000 levels of objects", nested(50000, R"({"a": )", "}"),
         "the document, part \"a\": nested deeper than 64 levels (line 1, column 385)"},
        {"nesting in a string is no nesting",
         tasksDocument(R"({"AppName": ")" + std::string(100, '[') + R"(", "x": )" +
                       nested(70, "{\"y\":", "}") + "}"),
         "Tasks record 1 (AppName \"" + std::string(60, '[') +
             "\"... (100 characters)), field \"x\": nested deeper than 64 levels (line 1, "
             "column 480)"},
        {"a syntax error, several lines in",
         "{\"Format\": \"vektrin-tables\",\n \"Tasks\": [\n  {\"AppName\": \"x\",\n"
         "   \"Stopped\": tru}]}",
         "Tasks record 1 (AppName \"x\"), field \"Stopped\": not a JSON document: invalid "
         "literal (line 4, column 18)"},
        {"a comma too many", tasksDocument(R"({"AppName": "x"},)"),
         "Tasks record 2: not a JSON document: unexpected ']'; expected '[', '{', or a "
         "literal (line 1, column 71)"},
        {"text after the document", R"({"Format": "vektrin-tables"} {})",
         "the document: not a JSON document: unexpected '{'; expected end of input (line "
         "1, column 30)"},
        {"a document cut short", "{\"Tasks\": [",
         "Tasks record 1: not a JSON document: unexpected end of input; expected '[', '{', or a "
         "literal (line 1, column 12)"},
        {"an empty file", "",
         "the document: not a JSON document: unexpected end of input; expected '[', '{', "
         "or a literal (line 1, column 1)"},
        {"bytes that are not UTF-8", tasksDocument("{\"AppName\": \"caf\xe9\"}"),
         "Tasks record 1, field \"AppName\": not a JSON document: invalid string: "
         "ill-formed UTF-8 byte (line 1, column 71)"},
        {"half a surrogate pair", tasksDocument(R"({"AppName": "\ud800"})"),
         "Tasks record 1, field \"AppName\": not a JSON document: invalid string: "
         "surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF (line 1, column "
         "73)"},
        {"a number beyond double", tasksDocument(R"({"AppName": "x", "EndCode": 1e999})"),
         "Tasks record 1 (AppName \"x\"), field \"EndCode\": the number 1e999 is out of "
         "range (line 1, column 86)"},
        {"a number of 1,000 digits beyond double",
         tasksDocument(R"({"EndCode": 1)" + std::string(1000, '0') + "e999}"),
         "Tasks record 1, field \"EndCode\": the number 1" + std::string(59, '0') +
             "... is out of range (line 1, column 1070)"},
        {"Format not a text", R"({"Format": 1})",
         "the document: no \"Format\": \"vektrin-tables\", but 1"},
        {"a document that is an array", "[]", "the document: not a JSON object but array"},
        {"a record that is a number", tasksDocument("7"),
         "Tasks record 1: not a JSON object but number"},
        {"a field given twice", tasksDocument(R"({"AppName": "x", "AppName": "y"})"),
         "Tasks record 1 (AppName \"x\"), field \"AppName\": given more than once"},
        {"a part given twice", R"({"Format": "vektrin-tables", "Tasks": [], "Tasks": []})",
         "the document: the part \"Tasks\" is given more than once"},
        {"a long name, shortened", tasksDocument(R"({"AppName": ")" + LongName + "\"}"),
         "Tasks record 1 (AppName \"" + LongName.substr(0, 60) +
             "\"... (100000 characters)), field \"AppName\": longer than 40 characters, "
             "not \"" +
             LongName.substr(0, 60) + "\"... (100000 characters)"},
        {"a long name of two-byte characters, cut between characters",
         tasksDocument(R"({"AppName": ")" +
                       [] {
                           std::string s;
                           for (int i = 0; i < 50; ++i)
                               s += "жж";
                           return s;
                       }() +
                       "\"}"),
         [] {
             std::string s;
             for (int i = 0; i < 60; ++i)
                 s += "ж";
             return "Tasks record 1 (AppName \"" + s +
                    "\"... (100 characters)), field \"AppName\": longer than 40 "
                    "characters, not \"" +
                    s + "\"... (100 characters)";
         }()},
        {"a long array for a text",
         tasksDocument(R"({"Application": [")" + std::string(40, 'a') + R"(", ")" +
                       std::string(40, 'b') + "\"]}"),
         "Tasks record 1, field \"Application\": expected a text, not [\"" + std::string(40, 'a') +
             "\",\"" + std::string(15, 'b') + "... (87 characters)"},
        {"a terminal escape in a field name", tasksDocument(R"({"\u001b[2J": 1})"),
         "Tasks record 1, field \"\\u001b[2J\": no such stored field"},
        {"an AppID beyond 64 bits", tasksDocument(R"({"AppID": 18446744073709551615})"),
         "Tasks record 1, field \"AppID\": out of range -2147483648 to 2147483647, not "
         "18446744073709551615"}};
    Tables tables;
    const auto before = tables.contents();
    const std::string prefix = tables.file("doc.json") + ": ";
    for (const Hostile& c : cases) {
        writeFile(tables.file("doc.json"), c.document);
        const auto o = tables.ctl({"import", tables.file("doc.json")});
        EXPECT_EQ(o.exitCode, 2) << c.label;
        EXPECT_EQ(o.out, "") << c.label;
        ASSERT_TRUE(o.err.starts_with(prefix)) << c.label << o.err;
        EXPECT_EQ(o.err.substr(prefix.size(), o.err.find('\n') - prefix.size()), c.message);
        EXPECT_TRUE(o.err.ends_with("\nNothing was imported.\n")) << c.label << o.err;
        EXPECT_EQ(o.err.find("json.exception"), std::string::npos) << c.label << o.err;
        EXPECT_EQ(o.err.find('\x1b'), std::string::npos) << c.label << ": a raw control character";
        EXPECT_EQ(tables.contents(), before) << c.label;
    }
}

// A wide record is read in time linear in its size (docs/performance.md has the figure); here
// only what it gives is checked: every key looked at, a repeated one refused, the list cut short.
TEST(HostileDocument, RecordsOfAHundredThousandKeys) {
    Tables tables;
    const auto before = tables.contents();
    const struct {
        const char* label;
        std::string (*key)(int);
        std::string firstProblem;
        std::string more;
    } cases[] = {
        {"distinct unknown keys", [](int i) { return "k" + std::to_string(i); },
         "Tasks record 1, field \"k0\": no such stored field", "99900 more problems not shown"},
        // Reading it as the library does keeps the last AppName and imports it.
        {"one key repeated", [](int) { return std::string("AppName"); },
         "Tasks record 1 (AppName \"v\"), field \"AppName\": given more than once",
         "99899 more problems not shown"},
    };
    for (const auto& c : cases) {
        std::string record = "{";
        for (int i = 0; i < 100000; ++i)
            record += (i ? ", \"" : "\"") + c.key(i) + "\": \"v\"";
        writeFile(tables.file("wide.json"), tasksDocument(record + "}"));
        const auto o = tables.ctl({"import", tables.file("wide.json")});
        EXPECT_EQ(o.exitCode, 2) << c.label;
        const std::string prefix = tables.file("wide.json") + ": ";
        EXPECT_TRUE(o.err.starts_with(prefix + c.firstProblem + "\n")) << c.label << o.err;
        EXPECT_TRUE(o.err.ends_with(prefix + c.more + "\nNothing was imported.\n")) << c.label;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 102) << c.label;
    }
    EXPECT_EQ(tables.contents(), before);
}

TEST(HostileDocument, StandardInputIsNamedAsSuch) {
    Tables tables;
    const auto o = test::runVektrinctl({"--aliases", tables.aliases(), "import", "-"}, {"LC_ALL=C"},
                                       true, tasksDocument(R"({"AppName": 1})"));
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(o.err, "vektrinctl: standard input: Tasks record 1, field \"AppName\": expected a "
                     "text, not 1\nvektrinctl: Nothing was imported.\n");
}

TEST(HostileDocument, AnUnreadableFileSaysWhy) {
    Tables tables;
    struct {
        std::string path;
        std::string err;
    } cases[] = {
        {tables.file("none.json"), "Cannot read " + tables.file("none.json") +
                                       ": No such file or directory\nNothing was imported.\n"},
        // Read as an empty document before.
        {tables.file(""),
         "Cannot read " + tables.file("") + ": Is a directory\nNothing was imported.\n"},
    };
    for (const auto& c : cases) {
        const auto o = tables.ctl({"import", c.path});
        EXPECT_EQ(o.exitCode, 2);
        EXPECT_EQ(o.err, c.err);
    }
}

// ------------------------------------------------------------------------- damaged tables

void overwrite(const std::string& path, long offset, const std::string& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(offset);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every command that meets a damaged or foreign table file names it, whether the damage shows
// when the tables are opened or only when a command writes (the AppID counter's page).
TEST(DamagedTables, EveryCommandNamesTheFile) {
    const std::vector<std::vector<std::string>> all = {
        {"tasks"}, {"tasks", "--json"}, {"next", "task 1"}, {"due"}, {"export"}, {"import"}};
    const struct {
        const char* label;
        const char* file;
        void (*damage)(const std::string& path);
        std::vector<std::vector<std::string>> commands;
        std::string message; // after "The table file <path> "
    } damages[] = {
        {"a page of task records", "Vektrin.db",
         [](const std::string& path) { overwrite(path, 9 * 4096, std::string(64, '\xff')); }, all,
         "is damaged: database disk image is malformed (Page 10: "},
        {"the page of the AppID counter",
         "Vektrin.db",
         [](const std::string& path) { overwrite(path, 2 * 4096, std::string(64, '\xff')); },
         {{"import"}},
         "is damaged: database disk image is malformed (Page 3: "},
        {"the resource table cut short", "VKResrcs.db",
         [](const std::string& path) { std::filesystem::resize_file(path, 5000); }, all,
         "cannot be opened: database disk image is malformed"},
        {"the task table emptied", "Vektrin.db",
         [](const std::string& path) { std::filesystem::resize_file(path, 0); }, all,
         "is empty while the other table files hold their tables: it looks damaged; it was left "
         "untouched"},
        {"text in place of the silence table", "SYSEXCPT.DB",
         [](const std::string& path) { writeFile(path, "not a table\n"); }, all,
         "is not a table file of this program; it was left untouched"},
    };
    for (const auto& d : damages) {
        Tables tables(300);
        d.damage(tables.file(d.file));
        writeFile(tables.file("doc.json"), tasksDocument(R"({"AppName": "new"})"));
        for (std::vector<std::string> args : d.commands) {
            if (args[0] == "import") args.push_back(tables.file("doc.json"));
            const auto o = tables.ctl(args);
            EXPECT_EQ(o.exitCode, 2) << d.label << ": " << args[0];
            EXPECT_TRUE(
                o.err.starts_with("The table file " + tables.file(d.file) + " " + d.message))
                << d.label << ": " << args[0] << ": " << o.err;
            if (args[0] == "import") {
                EXPECT_TRUE(o.err.ends_with("\nNothing was imported.\n")) << o.err;
            }
        }
    }
}

TEST(DamagedTables, TextThatIsNotUtf8IsNamedWhereJsonCannotCarryIt) {
    const struct {
        const char* field;
        std::vector<std::vector<std::string>> commands;
    } cases[] = {
        {"AppDirectory", {{"export"}, {"tasks", "--json"}}},
        {"AppName", {{"export"}, {"tasks", "--json"}, {"due", "--json"}}},
    };
    for (const auto& c : cases) {
        Tables tables;
        tables.sql(std::string("UPDATE \"Vektrin\" SET \"") + c.field +
                   "\" = CAST(x'2f636166e9' AS TEXT) WHERE \"AppID\" = 2");
        const std::string message = tables.file("Vektrin.db") + ", record 2 (AppID 2), field \"" +
                                    c.field +
                                    "\": the text is not UTF-8 (byte 0xE9 after character 4), "
                                    "which JSON cannot carry\n";
        for (const std::vector<std::string>& args : c.commands) {
            const auto o = tables.ctl(args);
            EXPECT_EQ(o.exitCode, 2) << c.field << ": " << args[0];
            EXPECT_EQ(o.err, message) << c.field << ": " << args[0];
        }
        // The lines of `tasks` carry the bytes as they are.
        EXPECT_EQ(tables.ctl({"tasks"}).exitCode, 0);
    }
}

} // namespace
} // namespace vektrin
