// The record engine: one format and one item list drive a single input or
// output statement over one or more records. The fields themselves are
// rendered and parsed in fields.cc.
//
// Nothing here allocates: fields are converted in place or through small
// stack buffers, and output records are built in the unit's record buffer.
#include "records/record_format.h"

#include <cstddef>
#include <cstdint>
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

// The quick conversions a plan tries first for a field whole in its record;
// anything they decline takes the statement loop's conversion. A plan field
// has the one its descriptor allows; a bound field keeps it only when its
// target suits it too.
enum class QuickPath : std::uint8_t {
  none,
  count_word,  // Iw of 8 to 16 columns into an int32: blanks then digits
  text,        // Aw into a target exactly as long as the field: copied
};

struct PlanField {
  Edit kind;
  QuickPath quick;
  int decimals;
  std::int64_t column;
  std::int64_t width;
};

// Every thread's table of plans is zeroed when the thread starts, so it is
// kept small: the tool reads with six formats of at most eight fields.
constexpr int k_plan_fields = 24;
constexpr int k_plans = 8;

constexpr std::size_t k_plan_descriptors = 12;

// A data field of the plan bound to the element of an item list it fills.
struct BoundField {
  QuickPath quick;
  int item;   // position of the item in the list
  int index;  // element within the item
  std::int64_t column;
  std::int64_t end;         // column + width
  std::uint64_t lead_mask;  // count_word: count_word_lead_mask(width)
  void* target;             // count_word: the int32; text: the first character
};

constexpr std::size_t k_bound_items = 4;

// Where the target of an item of `kind` lies within the item.
std::uint8_t target_offset(ItemKind kind) {
  switch (kind) {
    case ItemKind::text:
      return offsetof(InItem, text);
    case ItemKind::short_integer:
      return offsetof(InItem, short_integer);
    case ItemKind::integer:
      return offsetof(InItem, integer);
    case ItemKind::real:
      break;
  }
  return offsetof(InItem, real);
}

// What of an item its binding depends on: kind and count (one word), length,
// and the target its kind stores into (at `target_at` within the item).
struct ItemKey {
  std::uint64_t kind_count;
  std::int64_t length;
  const void* target;
  std::uint8_t target_at;

  bool operator==(const ItemKey& other) const {
    return kind_count == other.kind_count && length == other.length && target == other.target;
  }
};

ItemKey key_of(const InItem& item, std::uint8_t target_at) {
  static_assert(offsetof(InItem, count) == sizeof(ItemKind) && sizeof(ItemKind) == 4);
  ItemKey key{};
  std::memcpy(&key.kind_count, &item, sizeof key.kind_count);
  key.length = item.length;
  std::memcpy(&key.target, reinterpret_cast<const char*>(&item) + target_at, sizeof key.target);
  key.target_at = target_at;
  return key;
}

// A text field of the quick pass.
struct QuickText {
  std::int64_t column;
  std::int64_t width;
  char* target;
};

// The plan's fields bound to one item list, kept while the same items come
// again (a read loop passes the same targets to every statement).
struct Binding {
  bool m_valid = false;
  bool m_usable = false;  // the items end within the plan's fields
  std::size_t m_items = 0;
  ItemKey m_keys[k_bound_items];  // the items bound
  int m_count = 0;
  BoundField m_fields[k_plan_fields];
  // The quick pass, when every field has a quick action and the targets do
  // not overlap: for a record of at least m_whole_from characters whose bytes
  // lie apart from [m_low, m_high), the span of the targets, the counts are
  // converted and stored and the texts copied.
  bool m_quick = false;
  std::int64_t m_whole_from = 0;
  int m_quick_counts = 0;
  int m_quick_texts = 0;
  // The count fields of the quick pass: where each begins, where its last
  // eight columns begin, its lead mask and its target. An odd number of them
  // is followed by a copy of the last, so that they go in pairs.
  std::int64_t m_count_heads[k_plan_fields + 1];
  std::int64_t m_count_tails[k_plan_fields + 1];
  std::uint64_t m_count_masks[k_plan_fields + 1];
  std::int32_t* m_count_targets[k_plan_fields + 1];
  QuickText m_texts[k_plan_fields];
  std::uintptr_t m_low = 0;
  std::uintptr_t m_high = 0;

  bool binds(InItems items) const {
    if (!m_valid || items.size() != m_items) return false;
    const InItem* item = items.data();
    for (std::size_t k = 0; k < m_items; ++k) {
      if (!(key_of(item[k], m_keys[k].target_at) == m_keys[k])) return false;
    }
    return true;
  }
};

struct Plan {
  const EditDescriptor* m_key;
  std::size_t m_size;
  // The descriptors as they were when the plan was prepared, byte for byte: a
  // plan found by a format's address is taken only when they still agree, so
  // a format built in storage that is later reused for another gets a plan of
  // its own. (Bytes that differ only in padding merely prepare it again.)
  unsigned char m_bytes[k_plan_descriptors * sizeof(EditDescriptor)];
  bool m_usable;
  int m_count;
  PlanField m_fields[k_plan_fields];
  Binding m_binding;

  bool describes(const RecordFormat& format) const {
    return m_key == format.descriptors.data() && m_size == format.descriptors.size() &&
           std::memcmp(m_bytes, format.descriptors.data(), m_size * sizeof(EditDescriptor)) == 0;
  }
};

// Plans of the formats met so far, in a fixed table per thread: preparing
// one never allocates. Formats beyond the table's capacity take the
// statement loop.
struct PlanTable {
  Plan m_plans[k_plans];
  int m_count = 0;
  // The plan found last, null while plans are off: a run of reads mostly
  // uses one format.
  Plan* m_last = nullptr;
  bool m_enabled = true;
};

PlanTable& plan_table() {
  thread_local PlanTable table;
  return table;
}

QuickPath quick_path_of(Edit kind, std::int64_t width) {
  if (kind == Edit::integer && width >= 8 && width <= 16) return QuickPath::count_word;
  if (kind == Edit::text_width) return QuickPath::text;
  return QuickPath::none;
}

void prepare_plan(const RecordFormat& format, Plan& plan) {
  plan.m_key = format.descriptors.data();
  plan.m_size = format.descriptors.size();
  plan.m_usable = false;
  plan.m_count = 0;
  plan.m_binding.m_valid = false;
  if (plan.m_size > k_plan_descriptors) {
    plan.m_key = nullptr;  // never found again; the statement loop serves it
    return;
  }
  std::memcpy(plan.m_bytes, format.descriptors.data(), plan.m_size * sizeof(EditDescriptor));
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
      plan.m_fields[plan.m_count++] = {descriptor.kind, quick_path_of(descriptor.kind, width),
                                       descriptor.decimals, column, width};
      column += width;
    }
  }
  plan.m_usable = plan.m_count > 0;
}

// The plan of a format met before the last one used, or a new one.
[[gnu::noinline]] Plan* find_plan(const RecordFormat& format) {
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
    table.m_last = &plan;
    return plan.m_usable ? &plan : nullptr;
  }
  if (table.m_count == k_plans) return nullptr;
  Plan& plan = table.m_plans[table.m_count++];
  table.m_last = &plan;
  prepare_plan(format, plan);
  return plan.m_usable ? &plan : nullptr;
}

// The plan of `format`, or nullptr when it has none or plans are switched
// off. A run of statements mostly uses the format of the one before.
inline Plan* plan_of(const RecordFormat& format) {
  PlanTable& table = plan_table();
  if (table.m_last != nullptr) {
    Plan& plan = *table.m_last;
    // A constant format's descriptors are what they were when it was prepared.
    const bool same =
        format.storage == Storage::constant
            ? plan.m_key == format.descriptors.data() && plan.m_size == format.descriptors.size()
            : plan.describes(format);
    if (same) return plan.m_usable ? &plan : nullptr;
  }
  return find_plan(format);
}

// Copies `width` characters, sizeof(Word) to twice that, as two words that
// may overlap.
template <typename Word>
void copy_two_words(char* to, const char* from, std::int64_t width) {
  Word first;
  Word last;
  std::memcpy(&first, from, sizeof first);
  std::memcpy(&last, from + width - static_cast<std::int64_t>(sizeof last), sizeof last);
  std::memcpy(to, &first, sizeof first);
  std::memcpy(to + width - static_cast<std::int64_t>(sizeof last), &last, sizeof last);
}

// Copies a field of `width` characters; up to 16 without a call.
void copy_field(char* to, const char* from, std::int64_t width) {
  if (width >= 8 && width <= 16) {
    copy_two_words<std::uint64_t>(to, from, width);
  } else if (width >= 4 && width < 8) {
    copy_two_words<std::uint32_t>(to, from, width);
  } else if (width > 0) {
    std::memcpy(to, from, static_cast<std::size_t>(width));
  }
}

// What became of a field the quick conversions declined.
enum class Planned : std::uint8_t { stored, failed, general };

// Converts a field of a planned record as the statement loop would, or
// returns Planned::general when the field holds a comma: the comma ends a
// numeric field early and moves every later field, which only the loop does.
Planned store_planned(const PlanField& place, std::string_view record, const InItem& item,
                      int index, BlankMode mode, FieldFailure& where) {
  const auto length = static_cast<std::int64_t>(record.size());
  const std::int64_t column = place.column < length ? place.column : length;
  std::int64_t available = length - column;
  if (available > place.width) available = place.width;
  const std::string_view text(record.data() + column, static_cast<std::size_t>(available));
  const bool numeric = place.kind != Edit::text && place.kind != Edit::text_width;
  if (numeric && !text.empty() && std::memchr(text.data(), ',', text.size()) != nullptr) {
    return Planned::general;
  }
  // Plain digits with a sign, whole in the record, into an int32.
  if (available == place.width && place.kind == Edit::integer && item.kind == ItemKind::integer &&
      item.integer != nullptr &&
      detail::parse_integer_digits(text, IntegerTarget::int32, item.integer[index])) {
    return Planned::stored;
  }
  if (store_item(place.kind, place.decimals, Field{text, place.width - available}, place.width,
                 item, index, mode)) {
    return Planned::stored;
  }
  where.column = place.column;
  where.width = available;
  return Planned::failed;
}

void prepare_quick_pass(Binding& binding);

// Binds the plan's fields to `items`: which element each field fills and
// how. The binding is usable when every element has a field of the plan.
void bind(const Plan& plan, InItems items, Binding& binding) {
  binding.m_valid = false;
  binding.m_usable = false;
  binding.m_quick = false;
  binding.m_count = 0;
  if (items.size() > k_bound_items) return;
  binding.m_items = items.size();
  for (std::size_t k = 0; k < items.size(); ++k) {
    const InItem& item = items[k];
    binding.m_keys[k] = key_of(item, target_offset(item.kind));
  }
  int position = 0;
  for (const InItem& item : items) {
    for (int index = 0; index < item.count; ++index) {
      if (binding.m_count == plan.m_count) {
        binding.m_valid = true;  // these items want more fields than a record has
        return;
      }
      const PlanField& place = plan.m_fields[binding.m_count];
      BoundField& field = binding.m_fields[binding.m_count++];
      field = {QuickPath::none, position, index, place.column, place.column + place.width, 0,
               nullptr};
      if (place.quick == QuickPath::count_word && item.kind == ItemKind::integer &&
          item.integer != nullptr) {
        field.quick = QuickPath::count_word;
        field.lead_mask = detail::count_word_lead_mask(static_cast<std::size_t>(place.width));
        field.target = item.integer + index;
      } else if (place.quick == QuickPath::text && item.kind == ItemKind::text &&
                 item.text != nullptr && item.length == place.width) {
        field.quick = QuickPath::text;
        field.target = item.text + static_cast<std::ptrdiff_t>(index) * item.length;
      }
    }
    ++position;
  }
  binding.m_valid = true;
  binding.m_usable = binding.m_count > 0;
  prepare_quick_pass(binding);
}

// The byte span of a bound field's target.
struct Span {
  std::uintptr_t low;
  std::uintptr_t high;
};

Span target_span(const BoundField& field) {
  const auto low = reinterpret_cast<std::uintptr_t>(field.target);
  return {low, low + (field.quick == QuickPath::count_word
                          ? sizeof(std::int32_t)
                          : static_cast<std::size_t>(field.end - field.column))};
}

void prepare_quick_pass(Binding& binding) {
  binding.m_quick = binding.m_usable;
  binding.m_whole_from = 0;
  binding.m_quick_counts = 0;
  binding.m_quick_texts = 0;
  binding.m_low = UINTPTR_MAX;
  binding.m_high = 0;
  for (int f = 0; f < binding.m_count && binding.m_quick; ++f) {
    const BoundField& field = binding.m_fields[f];
    const Span span = target_span(field);
    if (field.quick == QuickPath::none) binding.m_quick = false;
    // Stores in another order than the fields' must not be told apart.
    for (int g = 0; g < f && binding.m_quick; ++g) {
      const Span other = target_span(binding.m_fields[g]);
      if (span.low < other.high && other.low < span.high) binding.m_quick = false;
    }
    if (field.end > binding.m_whole_from) binding.m_whole_from = field.end;
    if (field.quick == QuickPath::count_word) {
      const int c = binding.m_quick_counts++;
      binding.m_count_heads[c] = field.column;
      binding.m_count_tails[c] = field.end - 8;
      binding.m_count_masks[c] = field.lead_mask;
      binding.m_count_targets[c] = static_cast<std::int32_t*>(field.target);
    } else {
      binding.m_texts[binding.m_quick_texts++] = {field.column, field.end - field.column,
                                                  static_cast<char*>(field.target)};
    }
    if (span.low < binding.m_low) binding.m_low = span.low;
    if (span.high > binding.m_high) binding.m_high = span.high;
  }
  const int last = binding.m_quick_counts - 1;
  if (binding.m_quick_counts % 2 != 0) {
    binding.m_count_heads[last + 1] = binding.m_count_heads[last];
    binding.m_count_tails[last + 1] = binding.m_count_tails[last];
    binding.m_count_masks[last + 1] = binding.m_count_masks[last];
    binding.m_count_targets[last + 1] = binding.m_count_targets[last];
  }
}

// Whether a statement may leave targets changed when it does not convert:
// a statement that stops the run on a conversion error may, one that reports
// the error may not.
enum class Staging : std::uint8_t { direct, staged };

// The quick pass over a record of at least m_whole_from characters that lies
// apart from the targets. Returns false when a count declines; the statement
// loop then reads the record again and stores every target anew. Staged, the
// counts are converted first and nothing is stored unless every one converts;
// direct, they are stored as they are converted.
template <Staging staging>
bool run_quick(const Binding& binding, const char* data) {
  const int counts = binding.m_quick_counts;
  const detail::CountFields fields{binding.m_count_heads, binding.m_count_tails,
                                   binding.m_count_masks};
  if constexpr (staging == Staging::direct) {
    std::int32_t* const* const targets = binding.m_count_targets;
    if (detail::count_words_values(data, fields, counts, [targets](int c, std::int32_t value) {
          *targets[c] = value;
        }) != 0) {
      return false;
    }
  } else {
    std::int32_t values[k_plan_fields + 1];
    if (detail::count_words_values(data, fields, counts, [&values](int c, std::int32_t value) {
          values[c] = value;
        }) != 0) {
      return false;
    }
    for (int c = 0; c < counts; ++c) *binding.m_count_targets[c] = values[c];
  }
  const int texts = binding.m_quick_texts;
  const QuickText* const text = binding.m_texts;
  for (int t = 0; t < texts; ++t) copy_field(text[t].target, data + text[t].column, text[t].width);
  return true;
}

// The quick pass of `binding` on `record` when it may be taken: every field
// whole in the record, and the record apart from the targets.
template <Staging staging>
bool quick_pass(const Binding& binding, std::string_view record) {
  if (!binding.m_quick || static_cast<std::int64_t>(record.size()) < binding.m_whole_from) {
    return false;
  }
  const auto start = reinterpret_cast<std::uintptr_t>(record.data());
  if (binding.m_high > start && binding.m_low < start + record.size()) return false;
  return run_quick<staging>(binding, record.data());
}

// Applies `plan` to `record` when the statement is one the plan serves: items
// that end within the format (items left over would go on in another record)
// and a record without commas in the numeric fields it reaches. Otherwise
// returns InputEnd::general, and the statement loop reads the record again
// from its start: every target it stores, it stores anew. Stores and fails
// exactly as the statement loop does.
InputEnd run_plan(Plan& plan, const Source& source, std::string_view record, InItems items,
                  BlankMode mode, FieldFailure* failed) {
  Binding& binding = plan.m_binding;
  if (!binding.binds(items)) {
    // Items met for the first time: their quick pass has not been tried yet
    // (a bound one has, by quick_statement(), before the statement came here).
    bind(plan, items, binding);
    if (quick_pass<Staging::staged>(binding, record)) return InputEnd::complete;
  }
  if (!binding.m_usable) return InputEnd::general;
  const auto length = static_cast<std::int64_t>(record.size());
  const char* const data = record.data();
  const int count = binding.m_count;
  for (int f = 0; f < count; ++f) {
    const BoundField& field = binding.m_fields[f];
    if (field.end <= length) {
      const char* const text = data + field.column;
      const auto width = static_cast<std::size_t>(field.end - field.column);
      if (field.quick == QuickPath::count_word) {
        if (detail::parse_count_word(text, width, field.lead_mask,
                                     *static_cast<std::int32_t*>(field.target))) {
          continue;
        }
      } else if (field.quick == QuickPath::text) {
        copy_field(static_cast<char*>(field.target), text, static_cast<std::int64_t>(width));
        continue;
      }
    }
    FieldFailure where;
    switch (store_planned(plan.m_fields[f], record, items[static_cast<std::size_t>(field.item)],
                          field.index, mode, where)) {
      case Planned::stored:
        continue;
      case Planned::general:
        return InputEnd::general;
      case Planned::failed:
        if (failed == nullptr) conversion_error(source);
        *failed = where;
        return InputEnd::conversion_error;
    }
  }
  return InputEnd::complete;
}

// The quick pass of a statement whose format has a plan bound to these very
// items: true when it read the whole statement from `record`.
template <Staging staging>
bool quick_statement(const RecordFormat& format, InItems items, std::string_view record) {
  const Plan* plan = plan_of(format);
  if (plan == nullptr) return false;
  const Binding& binding = plan->m_binding;
  return binding.m_quick && binding.binds(items) && quick_pass<staging>(binding, record);
}

// Applies `format` to `record`, the first record of the statement, and to
// further records of `source` when the items go on beyond the format. A field
// that does not convert stops the run, unless `failed` is given: then the
// field's place is stored there and the statement ends with
// InputEnd::conversion_error.
InputEnd run_input(Source& source, std::string_view record, const RecordFormat& format,
                   InItems items, BlankMode mode, FieldFailure* failed = nullptr) {
  if (Plan* plan = plan_of(format)) {
    const InputEnd end = run_plan(*plan, source, record, items, mode, failed);
    if (end != InputEnd::general) return end;
  }
  Cursor<InItem> cursor(items.data(), items.data() + items.size());
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
  PlanTable& table = plan_table();
  table.m_enabled = enabled;
  table.m_last = nullptr;
}

void detail::forget_input_plans() {
  PlanTable& table = plan_table();
  table.m_count = 0;
  table.m_last = nullptr;
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

int read_formatted(int unit, const RecordFormat& format, InItems items, EndOfFile eof) {
  std::string_view record;
  if (read_record(unit, record) == ReadResult::record) {
    // A conversion error stops the run: the targets need no staging.
    if (quick_statement<Staging::direct>(format, items, record)) return 0;
    Source source{unit, {}, false};
    if (run_input(source, record, format, items, unit_blank_mode(unit)) == InputEnd::complete) {
      return 0;
    }
  }
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

bool try_read_record(std::string_view record, const RecordFormat& format, InItems items,
                     BlankMode mode, FieldFailure& failed) {
  failed = FieldFailure{};
  if (quick_statement<Staging::staged>(format, items, record)) return true;
  Source source{k_internal_unit, record, true};
  // A format that wants a second record finds none: the targets left keep their values.
  return run_input(source, record, format, items, mode, &failed) != InputEnd::conversion_error;
}

void read_internal(const char* text, int length, const RecordFormat& format, InItems items) {
  if (length < 0) length = 0;
  const std::string_view record(text, static_cast<std::size_t>(length));
  // A conversion error stops the run: the targets need no staging.
  if (quick_statement<Staging::direct>(format, items, record)) return;
  Source source{k_internal_unit, record, true};
  if (run_input(source, record, format, items, BlankMode::null) == InputEnd::end_of_file) {
    failure_stop(Message::end_of_file, k_internal_unit, k_internal_read_name);
  }
}

}  // namespace records
