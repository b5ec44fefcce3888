// The record engine: one format and one item list drive a single input or
// output statement over one or more records. The fields themselves are
// rendered and parsed in fields.cc.
//
// Nothing here allocates: fields are converted in place or through small
// stack buffers, and output records are built in the unit's record buffer.
#include "records/record_format.h"

#include <cstring>

#include "records/failure_stop.h"
#include "records/fields.h"
#include "records/units.h"

namespace records {
namespace {

using detail::Field;
using detail::fill;
using detail::parse_integer_field;
using detail::parse_real_field;
using detail::store_text;

// ---------------------------------------------------------------------------
// Item lists: a cursor over the items with runs expanded.

bool is_data(Edit kind) {
  return kind == Edit::text || kind == Edit::text_width || kind == Edit::integer ||
         kind == Edit::fixed || kind == Edit::real_d;
}

template <typename Item>
struct Cursor {
  const Item* m_item;
  const Item* m_end;
  int m_index;  // element within a run

  Cursor(const Item* first, const Item* end) : m_item(first), m_end(end), m_index(0) {
    skip_empty();
  }
  bool done() const { return m_item == m_end; }
  void advance() {
    ++m_index;
    if (m_index >= m_item->count) {
      ++m_item;
      m_index = 0;
    }
    skip_empty();
  }
  void skip_empty() {
    while (m_item != m_end && m_item->count <= 0) ++m_item;
  }
};

int repeat_of(const EditDescriptor& descriptor) {
  return descriptor.repeat < 1 ? 1 : descriptor.repeat;
}

int width_of(int width) {
  return width < 0 ? 0 : width;
}

// The column an input statement reaches after a descriptor that takes no item:
// nX moves n columns (never before the first), a literal is passed over.
std::int64_t column_after(const EditDescriptor& descriptor, std::int64_t column) {
  column += descriptor.kind == Edit::literal ? static_cast<std::int64_t>(descriptor.literal.size())
                                             : descriptor.width;
  return column < 0 ? 0 : column;
}

// Width of the output field a data descriptor gives the current item.
std::int64_t output_width(const EditDescriptor& descriptor, const OutItem& item) {
  if (descriptor.kind == Edit::text) return item.kind == ItemKind::text ? width_of(item.length) : 0;
  return width_of(descriptor.width);
}

// Renders element `index` of `item` with a data descriptor; an item that does
// not suit the descriptor shows as asterisks.
void render_item(const EditDescriptor& descriptor, const OutItem& item, int index, int width,
                 char* out) {
  switch (descriptor.kind) {
    case Edit::text:
    case Edit::text_width:
      if (item.kind == ItemKind::text && (item.text != nullptr || item.length <= 0)) {
        const int length = width_of(item.length);
        render_text(item.text + static_cast<std::ptrdiff_t>(index) * length, length, width, out);
        return;
      }
      break;
    case Edit::integer:
      if (item.kind == ItemKind::integer || item.kind == ItemKind::short_integer) {
        render_integer(item.integers != nullptr ? item.integers[index] : item.integer, width, out);
        return;
      }
      break;
    case Edit::fixed:
    case Edit::real_d:
      if (item.kind == ItemKind::real) {
        render_fixed(item.reals != nullptr ? item.reals[index] : item.real, width,
                     descriptor.decimals, out);
        return;
      }
      break;
    default:
      break;
  }
  fill(out, width, '*');
}

// Lays out one output record from the start of the format, taking items from
// `cursor`. `place(column, width, descriptor, item, index)` is called for every
// field and literal (item is nullptr for literals), with 0-based columns.
// Returns the record's length (the furthest column written).
template <typename Place>
std::int64_t lay_out_record(const RecordFormat& format, Cursor<OutItem>& cursor, Place&& place) {
  std::int64_t column = 0;
  std::int64_t furthest = 0;
  for (const EditDescriptor& descriptor : format.descriptors) {
    const int repeat = repeat_of(descriptor);
    for (int r = 0; r < repeat; ++r) {
      if (is_data(descriptor.kind)) {
        if (cursor.done()) return furthest;
        const std::int64_t width = output_width(descriptor, *cursor.m_item);
        place(column, width, descriptor, cursor.m_item, cursor.m_index);
        column += width;
        if (column > furthest) furthest = column;
        cursor.advance();
      } else if (descriptor.kind == Edit::literal) {
        const auto width = static_cast<std::int64_t>(descriptor.literal.size());
        place(column, width, descriptor, nullptr, 0);
        column += width;
        if (width > 0 && column > furthest) furthest = column;
      } else {
        column += descriptor.width;
        if (column < 0) column = 0;
      }
    }
  }
  return furthest;
}

void place_into(char* record, std::int64_t column, std::int64_t width,
                const EditDescriptor& descriptor, const OutItem* item, int index) {
  if (width <= 0) return;
  if (item == nullptr) {
    std::memcpy(record + column, descriptor.literal.data(), static_cast<std::size_t>(width));
  } else {
    render_item(descriptor, *item, index, static_cast<int>(width), record + column);
  }
}

// ---------------------------------------------------------------------------
// Input statements over a record source.

// Where an input statement takes its records from: a unit, or one text.
struct Source {
  int m_unit;  // k_internal_unit for a text
  std::string_view m_internal;
  bool m_internal_taken;
};

enum class Next : std::uint8_t { record, end_of_file };

Next next_record(Source& source, std::string_view& record) {
  if (source.m_unit == k_internal_unit) {
    if (source.m_internal_taken) return Next::end_of_file;
    source.m_internal_taken = true;
    record = source.m_internal;
    return Next::record;
  }
  return read_record(source.m_unit, record) == ReadResult::record ? Next::record
                                                                  : Next::end_of_file;
}

std::string_view source_name(const Source& source) {
  return source.m_unit == k_internal_unit ? k_internal_read_name : unit_file_name(source.m_unit);
}

[[noreturn]] void conversion_error(const Source& source) {
  failure_stop(Message::input_conversion, source.m_unit, source_name(source));
}

// Converts `field` into element `index` of `item`. False for a conversion
// error, including a target that does not suit the descriptor.
bool store_item(Edit kind, int decimals, const Field& field, std::int64_t width, const InItem& item,
                int index, BlankMode mode) {
  switch (kind) {
    case Edit::text:
    case Edit::text_width:
      if (item.kind != ItemKind::text || (item.text == nullptr && item.length > 0)) return false;
      store_text(field, width,
                 item.text + static_cast<std::ptrdiff_t>(index) * width_of(item.length),
                 item.length);
      return true;
    case Edit::integer: {
      std::int32_t value = 0;
      if (item.kind == ItemKind::integer && item.integer != nullptr) {
        if (!parse_integer_field(field, mode, IntegerTarget::int32, value)) return false;
        item.integer[index] = value;
        return true;
      }
      if (item.kind == ItemKind::short_integer && item.short_integer != nullptr) {
        if (!parse_integer_field(field, mode, IntegerTarget::int16, value)) return false;
        item.short_integer[index] = static_cast<std::int16_t>(value);
        return true;
      }
      return false;
    }
    case Edit::fixed:
    case Edit::real_d: {
      if (item.kind != ItemKind::real || item.real == nullptr) return false;
      double value = 0.0;
      if (!parse_real_field(field, decimals, mode, value)) return false;
      item.real[index] = value;
      return true;
    }
    default:
      return false;
  }
}

enum class InputEnd : std::uint8_t { complete, end_of_file, conversion_error, general };

// ---------------------------------------------------------------------------
// Input plans: a format prepared once into its data fields, each with the
// kind, column, width and decimals the statement loop below would give it,
// repeats expanded. The columns hold for a record without commas (a comma
// ends a numeric field early and moves every later field). A format with an
// A descriptor (width taken from the item) or more data fields than a plan
// holds has no plan and always takes the statement loop.

struct PlanField {
  Edit kind;
  int decimals;
  std::int64_t column;
  std::int64_t width;
};

constexpr int k_plan_fields = 48;
constexpr int k_plans = 16;

constexpr std::size_t k_plan_descriptors = 16;

// What of a descriptor decides the places of input fields, packed into two
// words: a plan found by a format's address is taken only when these still
// agree, so a format built in storage that is later reused for another gets a
// plan of its own. Literals of 2^24 characters or more get no plan.
struct DescriptorShape {
  std::uint64_t m_counts;  // repeat and width
  std::uint64_t m_rest;    // decimals, kind and literal length
};

constexpr std::size_t k_longest_planned_literal = (std::size_t{1} << 24) - 1;

DescriptorShape shape_of(const EditDescriptor& descriptor) {
  return {static_cast<std::uint32_t>(descriptor.repeat) |
              static_cast<std::uint64_t>(static_cast<std::uint32_t>(descriptor.width)) << 32,
          static_cast<std::uint32_t>(descriptor.decimals) |
              static_cast<std::uint64_t>(descriptor.kind) << 32 |
              static_cast<std::uint64_t>(descriptor.literal.size()) << 40};
}

struct Plan {
  const EditDescriptor* m_key;
  std::size_t m_size;
  DescriptorShape m_shapes[k_plan_descriptors];
  bool m_usable;
  int m_count;
  PlanField m_fields[k_plan_fields];

  bool describes(const RecordFormat& format) const {
    if (m_key != format.descriptors.data() || m_size != format.descriptors.size()) return false;
    std::uint64_t differs = 0;
    for (std::size_t d = 0; d < m_size; ++d) {
      const DescriptorShape shape = shape_of(format.descriptors[d]);
      differs |= (m_shapes[d].m_counts ^ shape.m_counts) | (m_shapes[d].m_rest ^ shape.m_rest);
    }
    return differs == 0;
  }
};

// Plans of the formats met so far, in a fixed table per thread: preparing
// one never allocates. Formats beyond the table's capacity take the
// statement loop.
struct PlanTable {
  Plan m_plans[k_plans];
  int m_count = 0;
  bool m_enabled = true;
};

PlanTable& plan_table() {
  thread_local PlanTable table;
  return table;
}

void prepare_plan(const RecordFormat& format, Plan& plan) {
  plan.m_key = format.descriptors.data();
  plan.m_size = format.descriptors.size();
  plan.m_usable = false;
  plan.m_count = 0;
  if (plan.m_size > k_plan_descriptors) {
    plan.m_key = nullptr;  // never found again; the statement loop serves it
    return;
  }
  for (std::size_t d = 0; d < plan.m_size; ++d) {
    if (format.descriptors[d].literal.size() > k_longest_planned_literal) {
      plan.m_key = nullptr;
      return;
    }
    plan.m_shapes[d] = shape_of(format.descriptors[d]);
  }
  std::int64_t column = 0;
  for (const EditDescriptor& descriptor : format.descriptors) {
    const int repeat = repeat_of(descriptor);
    for (int r = 0; r < repeat; ++r) {
      if (!is_data(descriptor.kind)) {
        column = column_after(descriptor, column);
        continue;
      }
      if (descriptor.kind == Edit::text || plan.m_count == k_plan_fields) return;
      const std::int64_t width = width_of(descriptor.width);
      plan.m_fields[plan.m_count++] = {descriptor.kind, descriptor.decimals, column, width};
      column += width;
    }
  }
  plan.m_usable = plan.m_count > 0;
}

const Plan* plan_of(const RecordFormat& format) {
  PlanTable& table = plan_table();
  if (!table.m_enabled) return nullptr;
  if (format.descriptors.size() > k_plan_descriptors) return nullptr;
  for (int i = 0; i < table.m_count; ++i) {
    Plan& plan = table.m_plans[i];
    if (plan.m_key != format.descriptors.data() || plan.m_size != format.descriptors.size()) {
      continue;
    }
    // Same storage, other descriptors: prepare it again in place.
    if (!plan.describes(format)) prepare_plan(format, plan);
    return plan.m_usable ? &plan : nullptr;
  }
  if (table.m_count == k_plans) return nullptr;
  Plan& plan = table.m_plans[table.m_count++];
  prepare_plan(format, plan);
  return plan.m_usable ? &plan : nullptr;
}

// Applies `plan` to `record` when the statement is one the plan serves: a
// record without commas and items that end within the format (items left
// over would go on in another record). Otherwise stores nothing and returns
// InputEnd::general. Stores and fails exactly as the statement loop does.
InputEnd run_plan(const Plan& plan, const Source& source, std::string_view record,
                  std::initializer_list<InItem> items, BlankMode mode, FieldFailure* failed) {
  std::int64_t elements = 0;
  for (const InItem& item : items) {
    if (item.count > 0) elements += item.count;
  }
  if (elements == 0 || elements > plan.m_count) return InputEnd::general;
  if (!record.empty() && std::memchr(record.data(), ',', record.size()) != nullptr) {
    return InputEnd::general;
  }
  const auto length = static_cast<std::int64_t>(record.size());
  const char* const data = record.data();
  const PlanField* field = plan.m_fields;
  for (const InItem& item : items) {
    // The item's fields in locals: the stores below may alias anything.
    const ItemKind kind = item.kind;
    const int count = item.count;
    std::int32_t* const integers = kind == ItemKind::integer ? item.integer : nullptr;
    char* const texts = kind == ItemKind::text ? item.text : nullptr;
    const int text_length = item.length;
    for (int index = 0; index < count; ++index, ++field) {
      const PlanField place = *field;
      const std::int64_t column = place.column < length ? place.column : length;
      std::int64_t available = length - column;
      if (available > place.width) available = place.width;
      const std::string_view text(data + column, static_cast<std::size_t>(available));
      // The usual shapes first: an integer of plain digits into an int32 and
      // a text as wide as its field, both whole in the record.
      if (available == place.width) {
        if (place.kind == Edit::integer && integers != nullptr &&
            detail::parse_integer_digits(text, IntegerTarget::int32, integers[index])) {
          continue;
        }
        if (place.kind == Edit::text_width && texts != nullptr && text_length == place.width) {
          std::memcpy(texts + static_cast<std::ptrdiff_t>(index) * text_length, text.data(),
                      text.size());
          continue;
        }
      }
      if (!store_item(place.kind, place.decimals, Field{text, place.width - available}, place.width,
                      item, index, mode)) {
        if (failed == nullptr) conversion_error(source);
        failed->column = place.column;
        failed->width = available;
        return InputEnd::conversion_error;
      }
    }
  }
  return InputEnd::complete;
}

// Applies `format` to records of `source`. A field that does not convert stops
// the run, unless `failed` is given: then the field's place is stored there and
// the statement ends with InputEnd::conversion_error.
InputEnd run_input(Source& source, const RecordFormat& format, std::initializer_list<InItem> items,
                   BlankMode mode, FieldFailure* failed = nullptr) {
  std::string_view record;
  if (next_record(source, record) == Next::end_of_file) return InputEnd::end_of_file;
  if (const Plan* plan = plan_of(format)) {
    const InputEnd end = run_plan(*plan, source, record, items, mode, failed);
    if (end != InputEnd::general) return end;
  }
  Cursor<InItem> cursor(items.begin(), items.end());
  for (;;) {
    const auto record_length = static_cast<std::int64_t>(record.size());
    // One search per record: a record without a comma needs none per field.
    const bool has_comma =
        !record.empty() && std::memchr(record.data(), ',', record.size()) != nullptr;
    std::int64_t column = 0;
    bool consumed = false;
    for (const EditDescriptor& descriptor : format.descriptors) {
      const int repeat = repeat_of(descriptor);
      for (int r = 0; r < repeat; ++r) {
        if (!is_data(descriptor.kind)) {
          column = column_after(descriptor, column);
          continue;
        }
        if (cursor.done()) return InputEnd::complete;
        const InItem& item = *cursor.m_item;
        const std::int64_t width =
            descriptor.kind == Edit::text ? width_of(item.length) : width_of(descriptor.width);
        std::int64_t available = record_length - column;
        if (available < 0) available = 0;
        if (available > width) available = width;
        Field field{
            std::string_view(record.data() + (column < record_length ? column : record_length),
                             static_cast<std::size_t>(available)),
            width - available};
        std::int64_t next_column = column + width;
        if (has_comma && descriptor.kind != Edit::text && descriptor.kind != Edit::text_width) {
          const std::size_t comma = field.m_text.find(',');
          if (comma != std::string_view::npos) {
            field = Field{field.m_text.substr(0, comma), 0};
            next_column = column + static_cast<std::int64_t>(comma) + 1;
          }
        }
        if (!store_item(descriptor.kind, descriptor.decimals, field, width, item, cursor.m_index,
                        mode)) {
          if (failed == nullptr) conversion_error(source);
          failed->column = column;
          failed->width = static_cast<std::int64_t>(field.m_text.size());
          return InputEnd::conversion_error;
        }
        column = next_column;
        consumed = true;
        cursor.advance();
      }
    }
    // End of the format with items left: the format starts again on the next
    // record. A format without data descriptors would never take them.
    if (cursor.done() || !consumed) return InputEnd::complete;
    if (next_record(source, record) == Next::end_of_file) return InputEnd::end_of_file;
  }
}

}  // namespace

void detail::set_input_plans(bool enabled) {
  plan_table().m_enabled = enabled;
}

void detail::forget_input_plans() {
  plan_table().m_count = 0;
}

// ---------------------------------------------------------------------------
// Statements.

void write_formatted(int unit, const RecordFormat& format, std::initializer_list<OutItem> items) {
  Cursor<OutItem> cursor(items.begin(), items.end());
  for (;;) {
    // Measure the record first, so the unit's buffer is reserved once at its
    // full size, then render it in place.
    Cursor<OutItem> measure = cursor;
    const std::int64_t length = lay_out_record(
        format, measure,
        [](std::int64_t, std::int64_t, const EditDescriptor&, const OutItem*, int) {});
    char* record = reserve_record(unit, static_cast<std::size_t>(length));
    if (length > 0) std::memset(record, ' ', static_cast<std::size_t>(length));
    const Cursor<OutItem> before = cursor;
    lay_out_record(format, cursor,
                   [record](std::int64_t column, std::int64_t width,
                            const EditDescriptor& descriptor, const OutItem* item, int index) {
                     place_into(record, column, width, descriptor, item, index);
                   });
    write_record(unit, static_cast<std::size_t>(length));
    // Items left at the end of the format go on in a new record; a format
    // that takes no item would otherwise never end.
    if (cursor.done()) return;
    if (cursor.m_item == before.m_item && cursor.m_index == before.m_index) return;
  }
}

int read_formatted(int unit, const RecordFormat& format, std::initializer_list<InItem> items,
                   EndOfFile eof) {
  Source source{unit, {}, false};
  if (run_input(source, format, items, unit_blank_mode(unit)) == InputEnd::complete) return 0;
  if (eof == EndOfFile::branch) return -1;
  failure_stop(Message::end_of_file, unit, unit_file_name(unit));
}

void write_internal(char* text, int length, const RecordFormat& format,
                    std::initializer_list<OutItem> items) {
  if (length < 0) length = 0;
  fill(text, length, ' ');
  Cursor<OutItem> cursor(items.begin(), items.end());
  lay_out_record(format, cursor,
                 [text, length](std::int64_t column, std::int64_t width,
                                const EditDescriptor& descriptor, const OutItem* item, int index) {
                   if (width > 0 && column + width > length) {
                     failure_stop(Message::output_overflow, k_internal_unit, k_internal_write_name);
                   }
                   place_into(text, column, width, descriptor, item, index);
                 });
  // The text is the only record: items left for a second one overflow it.
  if (!cursor.done())
    failure_stop(Message::output_overflow, k_internal_unit, k_internal_write_name);
}

bool try_read_record(std::string_view record, const RecordFormat& format,
                     std::initializer_list<InItem> items, BlankMode mode, FieldFailure& failed) {
  Source source{k_internal_unit, record, false};
  failed = FieldFailure{};
  // A format that wants a second record finds none: the targets left keep their values.
  return run_input(source, format, items, mode, &failed) != InputEnd::conversion_error;
}

void read_internal(const char* text, int length, const RecordFormat& format,
                   std::initializer_list<InItem> items) {
  if (length < 0) length = 0;
  Source source{k_internal_unit, std::string_view(text, static_cast<std::size_t>(length)), false};
  if (run_input(source, format, items, BlankMode::null) == InputEnd::end_of_file) {
    failure_stop(Message::end_of_file, k_internal_unit, k_internal_read_name);
  }
}

}  // namespace records
