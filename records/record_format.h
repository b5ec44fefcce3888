// Fixed-field record formats: edit descriptors, the formats of every file the
// tool reads or writes, and the engine that applies a format to one statement.
//
// A format is a fixed, ordered list of edit descriptors known at build time.
// Output statements build each record in the unit's record buffer and hand it
// to the unit layer as one line; input statements take whole records from the
// unit layer and convert their fields. A failed conversion or an overflowing
// internal record ends the run through failure_stop(); none of the statement
// operations returns an error.
#ifndef PROFCMP_RECORDS_RECORD_FORMAT_H_
#define PROFCMP_RECORDS_RECORD_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <type_traits>

#include "records/run_files.h"

namespace records {

enum class Edit : std::int32_t {
  text,        // A: text field as wide as the item
  text_width,  // Aw
  integer,     // Iw
  fixed,       // Fw.d
  real_d,      // Dw.d (input only; identical to Fw.d on input)
  skip,        // nX: move the column n to the right
  literal,     // 'text' (output only)
};

// Its bytes are its fields alone (no padding), so two descriptors compare as bytes.
struct EditDescriptor {
  Edit kind;
  int repeat;    // repeat count, at least 1
  int width;     // w of Aw, Iw, Fw.d, Dw.d; n of nX; 0 for A and literals
  int decimals;  // d of Fw.d and Dw.d
  std::string_view literal;
};
static_assert(sizeof(EditDescriptor) == 4 * sizeof(int) + sizeof(std::string_view));

constexpr EditDescriptor A(int repeat = 1) {
  return {Edit::text, repeat, 0, 0, {}};
}
constexpr EditDescriptor Aw(int width, int repeat = 1) {
  return {Edit::text_width, repeat, width, 0, {}};
}
constexpr EditDescriptor I(int width, int repeat = 1) {
  return {Edit::integer, repeat, width, 0, {}};
}
constexpr EditDescriptor F(int width, int decimals, int repeat = 1) {
  return {Edit::fixed, repeat, width, decimals, {}};
}
constexpr EditDescriptor D(int width, int decimals, int repeat = 1) {
  return {Edit::real_d, repeat, width, decimals, {}};
}
constexpr EditDescriptor X(int columns) {
  return {Edit::skip, 1, columns, 0, {}};
}
constexpr EditDescriptor lit(std::string_view text) {
  return {Edit::literal, 1, static_cast<int>(text.size()), 0, text};
}

// Whether the descriptors of a format may change while the program runs.
enum class Storage : std::uint8_t {
  changeable,  // built at run time: they are checked against what they were
  constant,    // a constexpr list, such as every format below: never changes
};

// The ordered edit descriptors of one format. Input statements prepare a
// format once and find it again by the address of its descriptors; those of
// a changeable format are compared with the prepared ones every time.
struct RecordFormat {
  std::span<const EditDescriptor> descriptors;
  Storage storage = Storage::changeable;
};

namespace formats {
namespace lists {
inline constexpr EditDescriptor bound_text[] = {D(10, 3)};
inline constexpr EditDescriptor results_record[] = {Aw(6), X(2), Aw(14), I(10, 5)};
inline constexpr EditDescriptor report_header[] = {
    Aw(21), X(3),          Aw(4),    X(3), lit("BOUND ="), F(10, 4),
    X(3),   lit("STEP ="), F(10, 4), X(3), lit("NMETH ="), I(3)};
inline constexpr EditDescriptor one_character[] = {Aw(1)};
inline constexpr EditDescriptor method_record[] = {Aw(6),  X(3),     I(3), X(3),   Aw(14),  X(3),
                                                   Aw(12), F(10, 4), X(3), Aw(12), F(10, 4)};
inline constexpr EditDescriptor profile_values[] = {F(10, 4, 8)};
inline constexpr EditDescriptor method_count[] = {X(77), I(3)};
inline constexpr EditDescriptor method_name[] = {X(15), Aw(14)};
inline constexpr EditDescriptor abscissa_line[] = {Aw(4), F(8, 5), Aw(1), F(8, 5), Aw(1)};
inline constexpr EditDescriptor value_line[] = {F(8, 5, 10)};
inline constexpr EditDescriptor texts_1[] = {A()};
inline constexpr EditDescriptor texts_2[] = {A(), A()};
inline constexpr EditDescriptor texts_3[] = {A(3)};
inline constexpr EditDescriptor texts_5[] = {A(5)};
inline constexpr EditDescriptor texts_7[] = {A(7)};
inline constexpr EditDescriptor texts_9[] = {A(9)};
}  // namespace lists

// Where a data field lies in the record that a format lays out: its 0-based
// column and its width.
struct FieldPlace {
  int column;
  int width;
  constexpr bool operator==(const FieldPlace&) const = default;
};

// The place of data field `n` (0-based, repeats counted one by one) of the
// format `list` at its first record. Literals and nX move the column as on
// output; {-1, 0} when the format has no such field or a field before it
// takes its width from its item (A without w).
constexpr FieldPlace data_field(std::span<const EditDescriptor> list, int n) {
  int column = 0;
  int index = 0;
  for (const EditDescriptor& descriptor : list) {
    for (int r = 0; r < (descriptor.repeat < 1 ? 1 : descriptor.repeat); ++r) {
      switch (descriptor.kind) {
        case Edit::skip:
        case Edit::literal:
          column += descriptor.width;
          continue;
        case Edit::text:
          if (index == n) return {column, -1};
          return {-1, 0};
        default:
          if (index == n) return {column, descriptor.width};
          column += descriptor.width;
          ++index;
      }
    }
  }
  return {-1, 0};
}

// The report is written by one folder and read back by another: each field
// the read-back takes must lie where the writer puts it.
static_assert(data_field(lists::report_header, 4) == data_field(lists::method_count, 0),
              "NMETH's I3 in the report header is where (77X,I3) reads the method count");
static_assert(data_field(lists::method_count, 0) == FieldPlace{77, 3});
static_assert(data_field(lists::report_header, 1).width == k_criterion_length,
              "the report header shows the whole criterion");
static_assert(data_field(lists::method_record, 2) == data_field(lists::method_name, 0),
              "the name in a method record is where (15X,A14) reads it");
static_assert(data_field(lists::method_name, 0) == FieldPlace{15, k_name_length});
static_assert(data_field(lists::results_record, 1) == FieldPlace{8, k_name_length},
              "a results-table name is as long as a report name");
static_assert(data_field(lists::profile_values, 7) == FieldPlace{70, 10} &&
                  data_field(lists::profile_values, 8) == FieldPlace{-1, 0},
              "profile values are written and read eight to a record, ten columns each");

// (D10.3): the bound text of the command line.
inline constexpr RecordFormat k_bound_text{lists::bound_text, Storage::constant};
// (A6,2X,A14,5I10): a results-table record.
inline constexpr RecordFormat k_results_record{lists::results_record, Storage::constant};
// (A21,3X,A4,3X,'BOUND =',F10.4,3X,'STEP =',F10.4,3X,'NMETH =',I3): the report header.
inline constexpr RecordFormat k_report_header{lists::report_header, Storage::constant};
// (A1): a record of one blank on output; passes over a record on input.
inline constexpr RecordFormat k_one_character{lists::one_character, Storage::constant};
// (A6,3X,I3,3X,A14,3X,A12,F10.4,3X,A12,F10.4): a method record of the report.
inline constexpr RecordFormat k_method_record{lists::method_record, Storage::constant};
// (8F10.4): profile values of a method.
inline constexpr RecordFormat k_profile_values{lists::profile_values, Storage::constant};
// (77X,I3): the method count of the report header.
inline constexpr RecordFormat k_method_count{lists::method_count, Storage::constant};
// (15X,A14): the method name of a method record.
inline constexpr RecordFormat k_method_name{lists::method_name, Storage::constant};
// (A4,F8.5,A1,F8.5,A1): the abscissa line of the plot script.
inline constexpr RecordFormat k_abscissa_line{lists::abscissa_line, Storage::constant};
// (10F8.5): up to ten values rendered into an 80-character text.
inline constexpr RecordFormat k_value_line{lists::value_line, Storage::constant};
// (A), (A,A), (3A), (5A), (7A), (9A): script lines built from texts.
inline constexpr RecordFormat k_texts_1{lists::texts_1, Storage::constant};
inline constexpr RecordFormat k_texts_2{lists::texts_2, Storage::constant};
inline constexpr RecordFormat k_texts_3{lists::texts_3, Storage::constant};
inline constexpr RecordFormat k_texts_5{lists::texts_5, Storage::constant};
inline constexpr RecordFormat k_texts_7{lists::texts_7, Storage::constant};
inline constexpr RecordFormat k_texts_9{lists::texts_9, Storage::constant};
}  // namespace formats

enum class ItemKind : std::int32_t { text, short_integer, integer, real };

// One output item, or a run of `count` consecutive array elements. Scalars are
// held by value; texts and runs point at storage that outlives the statement.
struct OutItem {
  ItemKind kind;
  int count;
  const char* text;
  int length;
  std::int32_t integer;
  double real;
  const std::int32_t* integers;
  const double* reals;
};

constexpr OutItem out_text(const char* text, int length) {
  return {ItemKind::text, 1, text, length, 0, 0.0, nullptr, nullptr};
}
constexpr OutItem out_text(std::string_view text) {
  return out_text(text.data(), static_cast<int>(text.size()));
}
constexpr OutItem out_integer(std::int32_t value) {
  return {ItemKind::integer, 1, nullptr, 0, value, 0.0, nullptr, nullptr};
}
constexpr OutItem out_real(double value) {
  return {ItemKind::real, 1, nullptr, 0, 0, value, nullptr, nullptr};
}
constexpr OutItem out_reals(const double* values, int count) {
  return {ItemKind::real, count, nullptr, 0, 0, 0.0, nullptr, values};
}

// One input target, or a run of `count` consecutive array elements. Its bytes
// are its fields alone (no padding), so two items compare as bytes.
struct InItem {
  ItemKind kind;
  int count;
  char* text;
  std::int64_t length;
  std::int16_t* short_integer;
  std::int32_t* integer;
  double* real;
};
static_assert(std::has_unique_object_representations_v<InItem>);

constexpr InItem in_text(char* text, int length) {
  return {ItemKind::text, 1, text, length, nullptr, nullptr, nullptr};
}
constexpr InItem in_short(std::int16_t& target) {
  return {ItemKind::short_integer, 1, nullptr, 0, &target, nullptr, nullptr};
}
constexpr InItem in_integers(std::int32_t* targets, int count) {
  return {ItemKind::integer, count, nullptr, 0, nullptr, targets, nullptr};
}
constexpr InItem in_integer(std::int32_t& target) {
  return in_integers(&target, 1);
}
constexpr InItem in_reals(double* targets, int count) {
  return {ItemKind::real, count, nullptr, 0, nullptr, nullptr, targets};
}
constexpr InItem in_real(double& target) {
  return in_reals(&target, 1);
}

// How blanks inside numeric input fields count. Every unit of the tool uses
// null (blanks are ignored).
enum class BlankMode : std::uint8_t { null, zero };

// Whether an input statement has an end-of-file branch.
enum class EndOfFile : std::uint8_t { stop, branch };

// Range of an integer input target.
enum class IntegerTarget : std::uint8_t { int32, int16 };

// Writes the items to `unit` with `format`, one completed record per line.
void write_formatted(int unit, const RecordFormat& format, std::initializer_list<OutItem> items);

// The items of an input statement: a braced list, or an array that a read
// loop builds once.
using InItems = std::span<const InItem>;

// Reads the targets from `unit` with `format`. Returns 0 when every target was
// read, -1 when the end of the file was met and `eof` is EndOfFile::branch;
// without a branch the end of the file stops the run with message 24.
int read_formatted(int unit, const RecordFormat& format, InItems items, EndOfFile eof);
inline int read_formatted(int unit, const RecordFormat& format, std::initializer_list<InItem> items,
                          EndOfFile eof) {
  return read_formatted(unit, format, InItems(items.begin(), items.size()), eof);
}

// Sets text[0..length) to blanks, then writes exactly one record into it.
// A field ending beyond column `length` stops with message 66 on unit -5.
void write_internal(char* text, int length, const RecordFormat& format,
                    std::initializer_list<OutItem> items);

// Reads the targets from text[0..length) as the only record; failures name
// unit -5 and "Internal Formatted Read".
void read_internal(const char* text, int length, const RecordFormat& format, InItems items);
inline void read_internal(const char* text, int length, const RecordFormat& format,
                          std::initializer_list<InItem> items) {
  read_internal(text, length, format, InItems(items.begin(), items.size()));
}

// Where a field that did not convert lies in its record: 0-based column and
// the number of record characters it covers (0 when it lies beyond the end).
struct FieldFailure {
  std::int64_t column = -1;
  std::int64_t width = 0;
};

// Reads the targets from `record` as read_internal() does, with blank mode
// `mode`, but never stops the run: returns false at the first field that does
// not convert and describes it in `failed`; the targets before it are stored.
[[nodiscard]] bool try_read_record(std::string_view record, const RecordFormat& format,
                                   InItems items, BlankMode mode, FieldFailure& failed);
[[nodiscard]] inline bool try_read_record(std::string_view record, const RecordFormat& format,
                                          std::initializer_list<InItem> items, BlankMode mode,
                                          FieldFailure& failed) {
  return try_read_record(record, format, InItems(items.begin(), items.size()), mode, failed);
}

// Field rendering: each writes exactly `width` characters to `out`.
// Text of `length` characters: right-aligned when the field is wider, else its first `width`.
void render_text(const char* text, int length, int width, char* out);
// Iw: right-aligned digits with a leading "-" for negatives; asterisks when it does not fit.
void render_integer(std::int32_t value, int width, char* out);
// Fw.d: the exact binary value rounded half away from zero to `decimals` digits;
// NaN and infinities as words from the second column; asterisks when it does not fit.
void render_fixed(double value, int width, int decimals, char* out);

// Field parsing. Aw input into a target of `length` characters.
void parse_text(const char* field, int width, char* target, int length);
// Iw input. Returns false for a conversion error (bad character or out of the target's range).
[[nodiscard]] bool parse_integer(std::string_view field, BlankMode mode, IntegerTarget target,
                                 std::int32_t& value);
// Fw.d and Dw.d input with `decimals` implied decimal places; the nearest double.
// Returns false for a conversion error.
[[nodiscard]] bool parse_real(std::string_view field, int decimals, BlankMode mode, double& value);

}  // namespace records

#endif  // PROFCMP_RECORDS_RECORD_FORMAT_H_
