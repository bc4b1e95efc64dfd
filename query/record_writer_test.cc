#include "query/record_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_platform.h"
#include "query/entry_output.h"
#include "query/json_lines_testing.h"

namespace ledra {
namespace {

using test::JsonLineParser;

// A row that hands every writer exactly what the test gives it.
class FixedRow final : public ResultRow {
 public:
  FixedRow(Record record, std::vector<std::string> cells = {}, std::string path = "",
           const TextLayout* layout = nullptr)
      : record_(std::move(record)),
        cells_(std::move(cells)),
        path_(std::move(path)),
        layout_(layout) {}
  Record Fields() const override { return record_; }
  const TextLayout& Layout() const override {
    static const TextLayout lines;
    return layout_ != nullptr ? *layout_ : lines;
  }
  void TextCells(bool, std::vector<std::string>* cells) const override { *cells = cells_; }
  std::string_view FullPath() const override { return path_; }

 private:
  Record record_;
  std::vector<std::string> cells_;
  std::string path_;
  const TextLayout* layout_;
};

std::string Written(OutputFormat format, const std::vector<FixedRow>& rows) {
  StringSink sink;
  OutputSettings settings;
  settings.format = format;
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, sink);
  for (const FixedRow& row : rows) writer->Write(row);
  writer->Finish();
  return sink.text;
}

// RFC 4180 read strictly: CRLF after every record, quotes only around a whole cell.
bool ParseCsv(const std::string& text, std::vector<std::vector<std::string>>* rows) {
  rows->clear();
  std::vector<std::string> row(1);
  for (size_t i = 0; i < text.size();) {
    std::string& cell = row.back();
    if (text[i] == '"' && cell.empty()) {
      for (++i;; ++i) {
        if (i == text.size()) return false;
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            cell.push_back('"');
            ++i;
            continue;
          }
          ++i;
          break;
        }
        cell.push_back(text[i]);
      }
      if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') return false;
      continue;
    }
    if (text[i] == ',') {
      row.emplace_back();
      ++i;
    } else if (text.compare(i, 2, "\r\n") == 0 || text[i] == '\n') {
      rows->push_back(row);
      row.assign(1, std::string());
      i += text[i] == '\n' ? 1 : 2;
    } else if (text[i] == '"' || text[i] == '\r' || text[i] == '\n') {
      return false;
    } else {
      cell.push_back(text[i++]);
    }
  }
  return row.size() == 1 && row[0].empty();  // the text ends with a record's line end
}

const std::string kMended = "\xEF\xBF\xBD";  // U+FFFD

// A value as it may reach a writer from a catalogue, what JSON and CSV make of it, and the
// text that parsing either back gives.
struct Hostile {
  const char* what;
  std::string value;
  std::string json;
  std::string csv;
  std::string parsed;
};

const std::vector<Hostile>& HostileValues() {
  static const std::vector<Hostile> values = {
      {"plain", "a b.txt", "\"a b.txt\"", "a b.txt", "a b.txt"},
      {"empty", "", "\"\"", "", ""},
      {"spaces kept", " x ", "\" x \"", " x ", " x "},
      {"comma", "a,b", "\"a,b\"", "\"a,b\"", "a,b"},
      {"quote", "say \"hi\"", "\"say \\\"hi\\\"\"", "\"say \"\"hi\"\"\"", "say \"hi\""},
      {"line feed", "a\nb", "\"a\\nb\"", "\"a\nb\"", "a\nb"},
      {"carriage return", "a\rb", "\"a\\rb\"", "\"a\rb\"", "a\rb"},
      {"tab", "a\tb", "\"a\\tb\"", "a\tb", "a\tb"},
      {"backslash", "C:\\x\\", "\"C:\\\\x\\\\\"", "C:\\x\\", "C:\\x\\"},
      {"escape character", "\x1b[31mred", "\"\\u001b[31mred\"", "\x1b[31mred", "\x1b[31mred"},
      {"delete", "a\x7f", "\"a\\u007f\"", "a\x7f", "a\x7f"},
      {"other control", "\x01\x1f", "\"\\u0001\\u001f\"", "\x01\x1f", "\x01\x1f"},
      {"non-ASCII", "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
       "\"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80\"", "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
       "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"},
      // Each byte that is not part of a valid sequence becomes one U+FFFD.
      {"Latin-1 byte", "caf\xE9", "\"caf" + kMended + "\"", "caf" + kMended, "caf" + kMended},
      {"cut sequence", "\xE6\x97", "\"" + kMended + kMended + "\"", kMended + kMended,
       kMended + kMended},
      {"overlong slash", "\xC0\xAF", "\"" + kMended + kMended + "\"", kMended + kMended,
       kMended + kMended},
      {"surrogate", "\xED\xA0\x80", "\"" + kMended + kMended + kMended + "\"",
       kMended + kMended + kMended, kMended + kMended + kMended},
      {"invalid byte then a quote", "\xFF\",", "\"" + kMended + "\\\",\"",
       "\"" + kMended + "\"\",\"", kMended + "\","},
  };
  return values;
}

TEST(RecordWriterTest, HostileTextIsEscapedExactlyAndParsesBack) {
  for (const Hostile& h : HostileValues()) {
    SCOPED_TRACE(h.what);
    const std::vector<FixedRow> rows = {
        FixedRow({{"name", FieldValue::Text(h.value)}, {"n", FieldValue::Integer(1)}})};

    const std::string json = Written(OutputFormat::Json, rows);
    EXPECT_EQ(json, "{\"name\":" + h.json + ",\"n\":1}\n");
    Record back;
    std::string error;
    ASSERT_TRUE(JsonLineParser::Parse(json.substr(0, json.size() - 1), &back, &error)) << error;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].value.text, h.parsed);

    const std::string csv = Written(OutputFormat::Csv, rows);
    // Text is quoted on every row, whether it needs it or not.
    const std::string quoted = h.csv.rfind("\"", 0) == 0 ? h.csv : "\"" + h.csv + "\"";
    EXPECT_EQ(csv, "name,n\n" + quoted + ",1\n");
    std::vector<std::vector<std::string>> cells;
    ASSERT_TRUE(ParseCsv(csv, &cells)) << csv;
    EXPECT_EQ(cells, (std::vector<std::vector<std::string>>{{"name", "n"}, {h.parsed, "1"}}));
  }
}

TEST(RecordWriterTest, EveryKindOfValueInJsonAndCsv) {
  const std::vector<FixedRow> rows = {
      FixedRow({{"text", FieldValue::Text("x")},
                {"big", FieldValue::Integer(INT64_MAX)},
                {"negative", FieldValue::Integer(INT64_MIN)},
                {"yes", FieldValue::Boolean(true)},
                {"no", FieldValue::Boolean(false)},
                {"none", FieldValue::Null()}}),
      FixedRow({{"text", FieldValue::Text("")},
                {"big", FieldValue::Integer(0)},
                {"negative", FieldValue::Integer(-1)},
                {"yes", FieldValue::Boolean(false)},
                {"no", FieldValue::Boolean(true)},
                {"none", FieldValue::Null()}}),
  };
  const std::string json = Written(OutputFormat::Json, rows);
  EXPECT_EQ(json,
            "{\"text\":\"x\",\"big\":9223372036854775807,\"negative\":-9223372036854775808,"
            "\"yes\":true,\"no\":false,\"none\":null}\n"
            "{\"text\":\"\",\"big\":0,\"negative\":-1,\"yes\":false,\"no\":true,\"none\":null}\n");
  size_t start = 0;
  for (const FixedRow& row : rows) {
    const size_t end = json.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    Record back;
    std::string error;
    ASSERT_TRUE(JsonLineParser::Parse(json.substr(start, end - start), &back, &error)) << error;
    const Record sent = row.Fields();
    ASSERT_EQ(back.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(back[i].name, sent[i].name);
      EXPECT_EQ(back[i].value.kind, sent[i].value.kind) << sent[i].name;
      EXPECT_EQ(back[i].value.integer, sent[i].value.integer) << sent[i].name;
      EXPECT_EQ(back[i].value.text, sent[i].value.text) << sent[i].name;
    }
    start = end + 1;
  }

  // The header once per writer, a null as an empty cell.
  // Text always quoted (an empty text too, unlike a null), LF ends unless CR LF is asked.
  EXPECT_EQ(Written(OutputFormat::Csv, rows),
            "text,big,negative,yes,no,none\n"
            "\"x\",9223372036854775807,-9223372036854775808,true,false,\n"
            "\"\",0,-1,false,true,\n");
  {
    StringSink crlf;
    OutputSettings settings;
    settings.format = OutputFormat::Csv;
    settings.crlf = true;
    MakeRecordWriter(settings, crlf)->Write(rows[1]);
    EXPECT_EQ(crlf.text, "text,big,negative,yes,no,none\r\n\"\",0,-1,false,true,\r\n");
  }
  StringSink sink;
  OutputSettings csv;
  csv.format = OutputFormat::Csv;
  for (int writers = 0; writers < 2; ++writers) MakeRecordWriter(csv, sink)->Write(rows[0]);
  EXPECT_EQ(sink.text.find("text,big"), 0u);
  EXPECT_NE(sink.text.find("text,big", 1), std::string::npos) << "a new writer, a new header";
}

// Names that are not valid UTF-8 are mended in `name` and `path`, and their bytes are
// recoverable from `name_bytes`.
TEST(RecordWriterTest, RawNameBytesAreRecoverableFromJsonAndCsv) {
  struct Case {
    std::string raw;
    bool valid;
  };
  const Case cases[] = {
      {"caf\xE9.txt", false}, {std::string("\xFF\x00\x80", 3), false}, {"caf\xC3\xA9", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    EntryFacts facts;
    facts.volume = "V";
    facts.catalog = "V.kvl";
    facts.rawName = c.raw;
    facts.nameValid = c.valid;
    facts.name = c.valid ? c.raw : "mended";
    facts.path = "/x/" + facts.name;
    const EntryRow row(facts);

    StringSink json;
    MakeRecordWriter({OutputFormat::Json, false}, json)->Write(row);
    Record back;
    std::string error;
    ASSERT_TRUE(JsonLineParser::Parse(json.text.substr(0, json.text.size() - 1), &back, &error))
        << error;
    auto field = std::find_if(back.begin(), back.end(),
                              [](const Field& f) { return f.name == "name_bytes"; });
    ASSERT_NE(field, back.end());
    StringSink csv;
    MakeRecordWriter({OutputFormat::Csv, false}, csv)->Write(row);
    std::vector<std::vector<std::string>> cells;
    ASSERT_TRUE(ParseCsv(csv.text, &cells));
    ASSERT_EQ(cells.size(), 2u);
    const size_t column = static_cast<size_t>(
        std::find(cells[0].begin(), cells[0].end(), "name_bytes") - cells[0].begin());
    ASSERT_LT(column, cells[1].size());
    if (c.valid) {
      EXPECT_EQ(field->value.kind, FieldValue::Kind::Null);
      EXPECT_EQ(cells[1][column], "");
      continue;
    }
    const std::string hex = field->value.text;
    EXPECT_EQ(cells[1][column], hex);
    ASSERT_EQ(hex.size(), 2 * c.raw.size());
    std::string recovered;
    for (size_t i = 0; i < hex.size(); i += 2) {
      recovered.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    EXPECT_EQ(recovered, c.raw);
  }
}

// -0 gives each path as stored, whatever bytes it holds, and nothing else.
TEST(RecordWriterTest, NulPathsKeepTheBytesAsStored) {
  std::vector<FixedRow> rows;
  std::string expected;
  for (const Hostile& h : HostileValues()) {
    const std::string path = "/d/" + h.value;
    rows.emplace_back(Record{{"ignored", FieldValue::Text("x")}}, std::vector<std::string>{"x"},
                      path);
    expected += path + '\0';
  }
  StringSink sink;
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter({OutputFormat::NulPaths, false}, sink);
  writer->Note("a note is for people only");
  for (const FixedRow& row : rows) writer->Write(row);
  writer->Finish();
  EXPECT_EQ(sink.text, expected);

  for (OutputFormat machine : {OutputFormat::Json, OutputFormat::Csv}) {
    StringSink quiet;
    MakeRecordWriter({machine, false}, quiet)->Note("total 3");
    EXPECT_EQ(quiet.text, "");
  }
}

TEST(RecordWriterTest, TextLinesAreWrittenAtOnceWithTheirBytes) {
  static const TextLayout indented = TextLayout::Lines("  ");
  StringSink sink;
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter({}, sink);
  writer->Write(FixedRow({}, {"V:/a\nb", "1.0K", "caf\xE9"}));
  EXPECT_EQ(sink.text, "V:/a\nb\t1.0K\tcaf\xE9\n") << "before Finish";
  writer->Write(FixedRow({}, {"x"}, "", &indented));
  writer->Note("3 files");
  writer->Finish();
  EXPECT_EQ(sink.text, "V:/a\nb\t1.0K\tcaf\xE9\n  x\n3 files\n");
}

TEST(RecordWriterTest, TextColumnsAreAlignedOnceTheBlockEnds) {
  static const TextLayout sizes =
      TextLayout::Columns({false, true, false}, {"NAME", "SIZE", "PATH"});
  static const TextLayout pairs = TextLayout::Columns({true, false});
  StringSink sink;
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter({}, sink);
  writer->Write(FixedRow({}, {"a", "1", "x"}, "", &sizes));
  writer->Write(FixedRow({}, {"caf\xC3\xA9", "1000", "y"}, "", &sizes));
  EXPECT_EQ(sink.text, "") << "a block waits for its last row";
  writer->Write(FixedRow({}, {"7", "seven"}, "", &pairs));
  writer->Write(FixedRow({}, {"10", "ten"}, "", &pairs));
  writer->Note("total");
  writer->Write(FixedRow({}, {"bb", "22", "z"}, "", &sizes));
  writer->Finish();
  EXPECT_EQ(sink.text,
            "NAME  SIZE  PATH\n"
            "a        1  x\n"
            "caf\xC3\xA9  1000  y\n"  // é is one column wide
            "\n"
            " 7  seven\n"
            "10  ten\n"
            "total\n"
            "NAME  SIZE  PATH\n"
            "bb      22  z\n");
}

// A block larger than the writer holds in one piece: long cells, empty ones and short ones,
// each row still whole and aligned.
TEST(RecordWriterTest, ABlockOfManyMegabytesIsWrittenWhole) {
  static const TextLayout layout = TextLayout::Columns({false, true, false});
  StringSink sink;
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter({}, sink);
  std::string expected;
  const size_t longest = 70001;
  for (size_t i = 0; i < 120; ++i) {
    const std::string name(i % 3 == 0 ? 0 : 1 + i * 583 % longest, static_cast<char>('a' + i % 26));
    const std::string size = std::to_string(i * 7);
    writer->Write(FixedRow({}, {name, size, i % 5 == 0 ? "" : "p" + size}, "", &layout));
  }
  writer->Write(FixedRow({}, {std::string(longest, 'z'), "1", "q"}, "", &layout));
  writer->Finish();
  std::istringstream lines(sink.text);
  std::string line;
  size_t rows = 0;
  while (std::getline(lines, line)) {
    SCOPED_TRACE(rows);
    ++rows;
    // The name column is as wide as the longest name, two spaces, then the size column
    // right-aligned to the widest size ("833" of row 119).
    ASSERT_GE(line.size(), longest + 2 + 3);
    const std::string name = line.substr(0, longest);
    const size_t end = name.find(' ');
    const std::string letters = name.substr(0, end);
    EXPECT_EQ(letters.find_first_not_of(letters.empty() ? 'a' : letters[0]), std::string::npos);
    if (end != std::string::npos) {
      EXPECT_EQ(name.find_first_not_of(' ', end), std::string::npos);
    }
    EXPECT_EQ(line.substr(longest, 2), "  ");
  }
  EXPECT_EQ(rows, 121u);
  EXPECT_GT(sink.text.size(), size_t{1} << 22) << "more than the pieces the writer holds";
}

// Rows of every shape for the text writer: blocks of two layouts, one after the other and
// parted by lines and notes, cells long and empty, rows of fewer cells, UTF-8 and stray
// bytes.
void WriteMixedBlocks(RecordWriter& writer) {
  static const TextLayout sizes =
      TextLayout::Columns({false, true, false}, {"NAME", "SIZE", "PATH"});
  static const TextLayout totals = TextLayout::Columns({false, true, false, true, true, false});
  static const TextLayout lines = TextLayout::Lines("  ");
  auto write = [&](std::vector<std::string> cells, const TextLayout* layout) {
    writer.Write(FixedRow({}, std::move(cells), "", layout));
  };
  write({"before"}, &lines);
  for (size_t i = 0; i < 300; ++i) {
    const std::string size = std::to_string(i * i * 37);
    std::string name(i % 7 == 0 ? 0 : 1 + i * 131 % 900, static_cast<char>('a' + i % 26));
    if (i % 11 == 0) name += "cafÃ©ÿ";
    if (i % 13 == 0) {
      write({name, size}, &sizes);
    } else {
      write({name, size, i % 5 == 0 ? "" : "p/" + size}, &sizes);
    }
  }
  write({"between"}, &lines);
  for (size_t i = 0; i < 40; ++i) {
    write({"total", std::to_string(i), "->", std::to_string(i * 1000), "+" + std::to_string(i),
           std::string(i * 3, 'x')},
          &totals);
  }
  writer.Note("a note");
  write({"short", "1", "y"}, &sizes);
  write({std::string(5000, 'L'), "22", "z"}, &sizes);
}

std::string WrittenHolding(TextHolding* holding) {
  StringSink sink;
  std::unique_ptr<RecordWriter> writer = NewTextWriter(sink, false, false, holding);
  WriteMixedBlocks(*writer);
  writer->Finish();
  return sink.text;
}

// However little of a block is held in memory, the rest set aside in a scratch file, the
// text is the same to the byte as when all of it is; a block within the bound never makes
// a scratch file, and every one made is gone once written.
TEST(RecordWriterTest, BlocksSetAsideInAScratchFileReadTheSame) {
  const std::string inMemory = WrittenHolding(nullptr);
  ASSERT_EQ(inMemory.find("  before\nNAME "), 0u);
  ASSERT_NE(inMemory.find("\n  between\ntotal  "), std::string::npos);
  ASSERT_NE(inMemory.find("\na note\nNAME "), std::string::npos);
  struct Case {
    size_t memoryBytes;
    bool scratch;  // a scratch file is made
  };
  const Case cases[] = {
      {0, true}, {16, true}, {100, true}, {4096, true}, {60000, true}, {kTextHoldingBytes, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.memoryBytes);
    std::ostringstream errorText;
    MessageSink errors(errorText);
    FakePlatform platform(errors);
    TextHolding holding;
    holding.platform = &platform;
    holding.memoryBytes = c.memoryBytes;
    EXPECT_EQ(WrittenHolding(&holding), inMemory);
    EXPECT_EQ(holding.problem, "");
    EXPECT_EQ(platform.scratchFilesMade > 0, c.scratch) << platform.scratchFilesMade;
    EXPECT_EQ(platform.scratchFilesOpen, 0);
  }
}

// A scratch file that cannot be made, written (a full disk) or read back ends the text where
// the block began: no row of it and nothing after it is written, and the holding says why.
TEST(RecordWriterTest, AScratchFileThatFailsEndsTheTextBeforeTheBlock) {
  struct Case {
    FakePlatform::Op op;
    int fromCall;
    const char* problem;
  };
  const Case cases[] = {
      {FakePlatform::Op::Create, 1,
       "cannot make the temporary file that holds the rows to align: "
       "Access is denied."},
      {FakePlatform::Op::Write, 1,
       "cannot write the temporary file that holds the rows to align: "
       "There is not enough space on the disk."},
      {FakePlatform::Op::Write, 5,
       "cannot write the temporary file that holds the rows to align: "
       "There is not enough space on the disk."},
      {FakePlatform::Op::Read, 1,
       "cannot read the temporary file that holds the rows to align: "
       "The request could not be performed because of an I/O device "
       "error."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    std::ostringstream errorText;
    MessageSink errors(errorText);
    FakePlatform platform(errors);
    platform.Fail(c.op, FakePlatform::kScratchFile, c.fromCall);
    TextHolding holding;
    holding.platform = &platform;
    holding.memoryBytes = 100;
    EXPECT_EQ(WrittenHolding(&holding), "  before\n");
    EXPECT_EQ(holding.problem, c.problem);
    EXPECT_EQ(platform.scratchFilesOpen, 0);
  }
}

// On a terminal every cell and note is shown with its controls escaped, so that a name
// cannot end a line or start a column, and columns meant for people get their heading;
// into a pipe the same rows keep their bytes and have no heading.
TEST(RecordWriterTest, TextOnATerminalEscapesCellsAndHeadsColumns) {
  static const TextLayout listed = TextLayout::TerminalHeaded({true, false}, {"SIZE", "NAME"});
  for (const bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "pipe");
    StringSink sink;
    OutputSettings settings;
    settings.terminal = terminal;
    std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, sink);
    writer->Write(FixedRow({}, {"V:/new\nline.txt", "9.9G", "2020-01-01 00:00"}));
    writer->Write(FixedRow({}, {"V:/tab\tcsi\xC2\x9b"
                                "2J"}));
    writer->Note("2 copies of a\x1b[2Jb");
    writer->Write(FixedRow({}, {"1", "x"}, "", &listed));
    writer->Write(FixedRow({}, {"1000", "bad\xFF"}, "", &listed));
    writer->Finish();
    EXPECT_EQ(sink.text, terminal ? "V:/new\\nline.txt\t9.9G\t2020-01-01 00:00\n"
                                    "V:/tab\\tcsi\\xc2\\x9b2J\n"
                                    "2 copies of a\\x1b[2Jb\n"
                                    "SIZE  NAME\n"
                                    "   1  x\n"
                                    "1000  bad\xFF\n"
                                  : "V:/new\nline.txt\t9.9G\t2020-01-01 00:00\n"
                                    "V:/tab\tcsi\xC2\x9b"
                                    "2J\n"
                                    "2 copies of a\x1b[2Jb\n"
                                    "   1  x\n"
                                    "1000  bad\xFF\n");
  }
}

// The size column of find's lines: human sizes (1024-based, one decimal below 10, never
// rounded up), or with --bytes the exact count; a clamped version-5 size reads as at least
// 2 GiB either way.
TEST(RecordWriterTest, SizesInTextAreHumanOrExact) {
  struct Case {
    int64_t size;
    bool clamped;
    const char* human;
    const char* exact;
  };
  const Case cases[] = {
      {0, false, "0", "0"},
      {1023, false, "1023", "1023"},
      {1024, false, "1.0K", "1024"},
      {1536, false, "1.5K", "1536"},
      {10239, false, "9.9K", "10239"},
      {10240, false, "10K", "10240"},
      {1048575, false, "1023K", "1048575"},
      {1048576, false, "1.0M", "1048576"},
      {2147483647, false, "1.9G", "2147483647"},  // a version-6 size, whole
      {2147483647, true, ">=2.0G", ">=2147483648"},
      {5368709120, false, "5.0G", "5368709120"},
      {int64_t{1} << 50, false, "1.0P", "1125899906842624"},
      {int64_t{1} << 62, false, "4.0E", "4611686018427387904"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EntryFacts facts;
    facts.volume = "DATA";
    facts.path = "D:\\f";
    facts.size = c.size;
    facts.clamped = c.clamped;
    facts.modified = 1577836800;
    for (const bool exact : {false, true}) {
      StringSink sink;
      MakeRecordWriter({OutputFormat::Text, exact}, sink)->Write(EntryRow(facts));
      EXPECT_EQ(sink.text, std::string("DATA:D:\\f\t") + (exact ? c.exact : c.human) + "\t" +
                               LocalTimeText(1577836800) + "\n");
    }
  }
}

}  // namespace
}  // namespace ledra
