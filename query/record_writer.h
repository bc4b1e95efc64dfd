// The output forms shared by every subcommand of `ledra`: aligned text for people, JSON Lines
// (one object per result), CSV (a header row, then RFC 4180 quoting) and NUL-terminated
// paths for `xargs -0`. A query hands each result over as a ResultRow, which can give its
// named fields, its text cells or its path; the writer of the chosen form asks for what it
// shows. JSON is always valid UTF-8: text fields are checked and mended on the way out.
#ifndef LEDRA_QUERY_RECORD_WRITER_H_
#define LEDRA_QUERY_RECORD_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/output_sink.h"

namespace ledra {

// One field's value. Text is UTF-8 (already converted from the catalogue's encoding).
struct FieldValue {
  enum class Kind { Null, Integer, Boolean, Text };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  std::string text;

  static FieldValue Null() { return FieldValue(); }
  static FieldValue Integer(int64_t v);
  static FieldValue Boolean(bool v);
  static FieldValue Text(std::string v);
};

struct Field {
  std::string name;  // snake_case
  FieldValue value;
};

// The fields of one result. Every record of one writer has the same fields in the same
// order (CSV takes its header row from the first); a field that does not apply to a record
// is Null (CSV: an empty cell).
using Record = std::vector<Field>;

enum class OutputFormat { Text, Json, Csv, NulPaths };

class KeptResults;
class Platform;

// Text holds a block of columns until it ends, to align it. Beyond this many bytes of held
// rows (a diff of two unrelated disks holds millions), it sets the rest aside in a scratch
// file and reads it back once the widths are known.
constexpr size_t kTextHoldingBytes = size_t{32} << 20;

// Where the text writers of one run set aside what they hold: the scratch files of
// `platform` (null: every row stays in memory), past `memoryBytes`. Once a scratch file
// cannot be made, written or read, `problem` says why, in a line for standard error, and
// text writes nothing more: the run must end in that error rather than in columns out
// of line.
struct TextHolding {
  Platform* platform = nullptr;
  size_t memoryBytes = kTextHoldingBytes;
  std::string problem;
};

// What the user chose for output.
struct OutputSettings {
  OutputFormat format = OutputFormat::Text;
  bool exactBytes = false;  // --bytes: no human sizes in text
  bool crlf = false;        // --crlf: CSV lines end in CR LF rather than LF
  // Standard output is a terminal: text escapes the control characters of each cell and
  // shows the headings meant for people.
  bool terminal = false;
  // Not null: every writer made for these settings keeps its rows there instead, to be
  // written once all are known (query/sorted_results.h).
  KeptResults* keep = nullptr;
  // Not null: where text sets aside large blocks of columns; else it holds them in memory.
  TextHolding* holding = nullptr;
};

// How one kind of result reads as text.
struct TextLayout {
  enum class Kind {
    Lines,    // each row a line of its own at once, its cells joined by tabs
    Columns,  // rows aligned in columns two spaces apart once the block is complete
  };
  Kind kind = Kind::Lines;
  std::string indent;                // Lines: before each line
  std::vector<bool> rightAligned;    // Columns: true for columns of numbers
  std::vector<std::string> heading;  // Columns: a first row naming the columns
  // Columns: a first row naming the columns, shown on a terminal only, where no program
  // reads the lines.
  std::vector<std::string> terminalHeading;

  static TextLayout Lines(std::string indent = "") {
    TextLayout l;
    l.indent = std::move(indent);
    return l;
  }
  static TextLayout Columns(std::vector<bool> rightAligned, std::vector<std::string> heading = {}) {
    TextLayout l;
    l.kind = Kind::Columns;
    l.rightAligned = std::move(rightAligned);
    l.heading = std::move(heading);
    return l;
  }
  static TextLayout TerminalHeaded(std::vector<bool> rightAligned,
                                   std::vector<std::string> heading) {
    TextLayout l = Columns(std::move(rightAligned));
    l.terminalHeading = std::move(heading);
    return l;
  }
};

// One result as every form can show it.
class ResultRow {
 public:
  virtual ~ResultRow() = default;
  // JSON Lines and CSV.
  virtual Record Fields() const = 0;
  // Text: the layout the row belongs to (one object for all rows of a kind), and its cells,
  // sizes exact with `exactBytes` (--bytes), else human.
  virtual const TextLayout& Layout() const = 0;
  virtual void TextCells(bool exactBytes, std::vector<std::string>* cells) const = 0;
  // -0: the full path of the entry the row stands for.
  virtual std::string_view FullPath() const { return {}; }
};

// Writes the results of one query in one form.
class RecordWriter {
 public:
  virtual ~RecordWriter() = default;
  virtual void Write(const ResultRow& row) = 0;
  // A line only people read, such as a group's heading or a closing total: text writes it
  // in its place, the other forms leave it out.
  virtual void Note(std::string_view /*line*/) {}
  // After the last row: text writes the rows it held back to align them.
  virtual void Finish() {}
};

// The writer of the form `settings` asks for, onto `sink`, which must outlive it.
std::unique_ptr<RecordWriter> MakeRecordWriter(const OutputSettings& settings, OutputSink& sink);

// The forms, one class each (text_writer.cc, json_lines_writer.cc, csv_writer.cc,
// nul_path_writer.cc).
std::unique_ptr<RecordWriter> NewTextWriter(OutputSink& sink, bool exactBytes,
                                            bool terminal = false, TextHolding* holding = nullptr);
std::unique_ptr<RecordWriter> NewJsonLinesWriter(OutputSink& sink);
std::unique_ptr<RecordWriter> NewCsvWriter(OutputSink& sink, bool crlf);
std::unique_ptr<RecordWriter> NewNulPathWriter(OutputSink& sink);

// Appends `text` as a JSON string literal (quotes included).
void AppendJsonString(std::string_view text, std::string* out);

}  // namespace ledra

#endif  // LEDRA_QUERY_RECORD_WRITER_H_
