#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "status/json.h"

namespace qf {
namespace {

TEST(Json, every_byte_of_a_datagram_text_comes_out_as_valid_ascii_json)
{
    const struct {
        std::string bytes;
        std::string json;
    } cases[] = {
        {"WSJT-X", "\"WSJT-X\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line\r\nend\ttab", "\"line\\r\\nend\\ttab\""},
        {std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\\u007f\""},
        {"<img src=x onerror=alert(1)>", "\"\\u003cimg src=x onerror=alert(1)\\u003e\""},
        {"</script>&", "\"\\u003c/script\\u003e\\u0026\""},
        {"\xB7", "\"\\u00b7\""},                       // the window's middle dot: Latin-1, as it shows
        {"\xC3\xA9\xFF", "\"\\u00c3\\u00a9\\u00ff\""}, // any byte, valid UTF-8 or not
    };
    for (const auto& c : cases) {
        EXPECT_EQ(jsonString(c.bytes), c.json) << c.bytes;
    }
}

TEST(Json, objects_and_arrays_are_separated_and_numbers_not_finite_are_null)
{
    JsonWriter j;
    j.beginObject();
    j.key("a").beginArray().value(1).value(-2.5).value(14074000.0).endArray();
    j.key("b").beginObject().endObject();
    j.key("c").value(std::numeric_limits<double>::quiet_NaN());
    j.key("d").value(std::uint64_t{18446744073709551615u}).key("e").value(true).key("f").null();
    j.endObject();
    EXPECT_EQ(j.text(),
              "{\"a\":[1,-2.5,14074000],\"b\":{},\"c\":null,\"d\":18446744073709551615,\"e\":true,\"f\":null}");
}

} // namespace
} // namespace qf
