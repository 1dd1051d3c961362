// JSON text for the status page. Strings from the program are bytes of unknown origin (a datagram's
// Id may hold quotes, control bytes or invalid UTF-8): each byte above 127 is taken as the Latin-1
// character the window shows, and everything but printable ASCII is escaped, so the text is always
// valid JSON in plain ASCII and never closes a script or markup it might be pasted into.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

// The bytes as one quoted JSON string.
std::string jsonString(std::string_view bytes);

class JsonWriter {
  public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view bytes);
    JsonWriter& value(const char* bytes) { return value(std::string_view(bytes)); }
    JsonWriter& value(const std::string& bytes) { return value(std::string_view(bytes)); }
    // Whole numbers without a fraction; a value that is not finite becomes null.
    JsonWriter& value(double number);
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(bool flag);
    JsonWriter& null();

    const std::string& text() const { return out_; }

  private:
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    void separate();
    std::string out_;
    std::vector<bool> empty_; // per open object or array: nothing written in it yet
    bool afterKey_ = false;
};

} // namespace qf
