// Input plans against the statement loop: a random format of up to six edit
// descriptors, up to three items of random kinds, counts and lengths, and a
// random record are read twice with try_read_record(), once through the
// format's prepared plan and once through the general statement loop. The
// result, the failing field's place and every byte of every target must agree.
// The planned read follows another with the same items, so that the plan's
// prepared state is exercised as a run of reads uses it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "failure_seam.h"
#include "records/fields.h"
#include "records/record_format.h"

namespace {

using records::EditDescriptor;
using records::InItem;
using records::ItemKind;

struct Bytes {
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::uint8_t take() {
    if (m_size == 0) return 0;
    --m_size;
    return *m_data++;
  }
};

constexpr int k_elements = 8;
constexpr int k_text = 16;

// The targets of one read, filled with the same pattern before each.
struct Targets {
  char texts[3][k_elements * k_text];
  std::int16_t shorts[3];
  std::int32_t integers[3][k_elements];
  double reals[3][k_elements];
};

void reset(Targets& t) {
  std::memset(&t, 0x5a, sizeof t);
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "fuzz_plan_vs_loop: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in{data, size};
  EditDescriptor descriptors[6];
  const int count = 1 + in.take() % 6;
  for (int d = 0; d < count; ++d) {
    const std::uint8_t kind = in.take();
    const int repeat = 1 + in.take() % 4;
    const int width = in.take() % 13;
    const int decimals = in.take() % 4;
    switch (kind % 8) {
      case 0:
        descriptors[d] = records::A(repeat);
        break;
      case 1:
        descriptors[d] = records::Aw(width, repeat);
        break;
      case 2:
      case 3:
        descriptors[d] = records::I(width, repeat);
        break;
      case 4:
        descriptors[d] = records::F(width, decimals, repeat);
        break;
      case 5:
        descriptors[d] = records::D(width, decimals, repeat);
        break;
      case 6:
        descriptors[d] = records::X(width);
        break;
      default:
        descriptors[d] = records::lit(std::string_view("ab", width % 3));
        break;
    }
  }
  const records::BlankMode mode =
      in.take() % 2 == 0 ? records::BlankMode::null : records::BlankMode::zero;

  // Items: the pointers are into the targets chosen at each read.
  struct ItemShape {
    ItemKind kind;
    int count;
    int length;
    bool null_target;
  } shapes[3];
  const int items = 1 + in.take() % 3;
  for (int i = 0; i < items; ++i) {
    const std::uint8_t byte = in.take();
    shapes[i].kind = static_cast<ItemKind>(byte % 4);
    shapes[i].count = in.take() % (k_elements + 1);
    shapes[i].length = in.take() % (k_text + 1);
    shapes[i].null_target = byte >= 250;
    if (shapes[i].kind == ItemKind::short_integer) shapes[i].count = 1;
  }
  const std::string_view record(reinterpret_cast<const char*>(in.m_data), in.m_size);
  const records::RecordFormat format{std::span<const EditDescriptor>(descriptors, count)};

  const auto read = [&](std::string_view text, Targets& t, records::FieldFailure& failure) {
    InItem list[3];
    for (int i = 0; i < items; ++i) {
      const ItemShape& s = shapes[i];
      switch (s.kind) {
        case ItemKind::text:
          list[i] = {ItemKind::text, s.count, s.null_target ? nullptr : t.texts[i],
                     s.length,       nullptr, nullptr,
                     nullptr};
          break;
        case ItemKind::short_integer:
          list[i] = {ItemKind::short_integer,
                     1,
                     nullptr,
                     0,
                     s.null_target ? nullptr : &t.shorts[i],
                     nullptr,
                     nullptr};
          break;
        case ItemKind::integer:
          list[i] = {ItemKind::integer,
                     s.count,
                     nullptr,
                     0,
                     nullptr,
                     s.null_target ? nullptr : t.integers[i],
                     nullptr};
          break;
        default:
          list[i] = {ItemKind::real,
                     s.count,
                     nullptr,
                     0,
                     nullptr,
                     nullptr,
                     s.null_target ? nullptr : t.reals[i]};
          break;
      }
    }
    switch (items) {
      case 1:
        return records::try_read_record(text, format, {list[0]}, mode, failure);
      case 2:
        return records::try_read_record(text, format, {list[0], list[1]}, mode, failure);
      default:
        return records::try_read_record(text, format, {list[0], list[1], list[2]}, mode, failure);
    }
  };

  Targets planned;
  Targets general;
  reset(planned);
  reset(general);
  records::FieldFailure planned_failure;
  records::FieldFailure general_failure;
  // The format's storage is reused from one input to the next. The planned
  // statement comes second, after one on the first half of the record with
  // the same items, so that it runs with what the first one left prepared.
  records::detail::forget_input_plans();
  records::detail::set_input_plans(true);
  (void)read(record.substr(0, record.size() / 2), planned, planned_failure);
  reset(planned);
  planned_failure = records::FieldFailure{};
  const bool planned_ok = read(record, planned, planned_failure);
  records::detail::set_input_plans(false);
  const bool general_ok = read(record, general, general_failure);
  records::detail::set_input_plans(true);

  if (planned_ok != general_ok) fail("the plan and the loop disagree on success");
  if (planned_failure.column != general_failure.column ||
      planned_failure.width != general_failure.width) {
    fail("the plan and the loop place the failing field differently");
  }
  // Reals compare as bytes: a NaN read must be the same NaN.
  if (std::memcmp(&planned, &general, sizeof planned) != 0) {
    fail("the plan and the loop store different targets");
  }
  return 0;
}
