// Messages: a 32-bit code (written as four characters) and named, typed fields, file references
// (platform/storage/Entry.h) among them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/support/SupportDefs.h"

constexpr uint32 four_char_code(const char (&code)[5])
{
    return (static_cast<uint32>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<uint32>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<uint32>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<uint32>(static_cast<unsigned char>(code[3]));
}

// Messages of the kit itself.
enum : uint32
{
    B_QUIT_REQUESTED = four_char_code("_QRQ"),
    B_SIMPLE_DATA = four_char_code("DATA"),
    B_KEY_DOWN = four_char_code("_KYD"),
    B_MOUSE_WHEEL_CHANGED = four_char_code("_MWC"),
};

typedef uint32 type_code;

enum : type_code
{
    B_INT32_TYPE = four_char_code("LONG"),
    B_INT64_TYPE = four_char_code("LLNG"),
    B_FLOAT_TYPE = four_char_code("FLOT"),
    B_STRING_TYPE = four_char_code("CSTR"),
    B_POINTER_TYPE = four_char_code("PNTR"),
    B_REF_TYPE = four_char_code("RREF"),
};

struct entry_ref;

class BMessage
{
public:
    explicit BMessage(uint32 code = 0) : what(code) {}

    uint32 what;

    status_t AddInt32(const char* name, int32 value);
    status_t AddInt64(const char* name, int64 value);
    status_t AddFloat(const char* name, float value);
    status_t AddString(const char* name, const char* value);
    status_t AddPointer(const char* name, const void* value);
    status_t AddRef(const char* name, const entry_ref* ref);

    // B_NAME_NOT_FOUND when there is no such field, B_BAD_VALUE when it has another type or
    // fewer values.
    status_t FindInt32(const char* name, int32* value) const { return FindInt32(name, 0, value); }
    status_t FindInt32(const char* name, int32 index, int32* value) const;
    status_t FindFloat(const char* name, float* value) const;
    status_t FindPointer(const char* name, void** value) const;
    status_t FindRef(const char* name, entry_ref* ref) const { return FindRef(name, 0, ref); }
    status_t FindRef(const char* name, int32 index, entry_ref* ref) const;

    // The type and number of values of a field.
    status_t GetInfo(const char* name, type_code* type, int32* count = nullptr) const;

private:
    struct Field
    {
        type_code type;
        std::vector<int64> numbers; // integers, pointers
        std::vector<double> reals;
        std::vector<std::string> texts; // strings and reference paths
    };

    Field& Add(const char* name, type_code type, status_t* status);
    const Field* Find(const char* name, type_code type, int32 index, status_t* status) const;

    std::map<std::string, Field> fields_;
};

// What a drop of text onto a window becomes: a B_SIMPLE_DATA message with an entry reference in
// "refs" for each line of a text/uri-list ("file://host/path" with %XX escapes, or a plain
// absolute path); every other line (comments, empty lines, plain words) is skipped.
BMessage drop_message(const char* text, size_t length);
