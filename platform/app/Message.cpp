#include "platform/app/Message.h"

#include "platform/storage/Entry.h"

BMessage::Field& BMessage::Add(const char* name, type_code type, status_t* status)
{
    Field& field = fields_[name != nullptr ? name : ""];
    if (field.numbers.empty() && field.reals.empty() && field.texts.empty())
        field.type = type;
    *status = field.type == type ? B_OK : B_BAD_VALUE;
    return field;
}

const BMessage::Field* BMessage::Find(const char* name, type_code type, int32 index,
                                      status_t* status) const
{
    auto found = fields_.find(name != nullptr ? name : "");
    if (found == fields_.end())
    {
        *status = B_NAME_NOT_FOUND;
        return nullptr;
    }
    const Field& field = found->second;
    size_t count = type == B_FLOAT_TYPE                            ? field.reals.size()
                   : (type == B_STRING_TYPE || type == B_REF_TYPE) ? field.texts.size()
                                                                   : field.numbers.size();
    if (field.type != type || index < 0 || static_cast<size_t>(index) >= count)
    {
        *status = B_BAD_VALUE;
        return nullptr;
    }
    *status = B_OK;
    return &field;
}

#define ADD_NUMBER(Method, Type, code)                                                             \
    status_t BMessage::Method(const char* name, Type value)                                        \
    {                                                                                              \
        status_t status;                                                                           \
        Field& field = Add(name, code, &status);                                                   \
        if (status == B_OK)                                                                        \
            field.numbers.push_back(static_cast<int64>(value));                                    \
        return status;                                                                             \
    }

ADD_NUMBER(AddInt32, int32, B_INT32_TYPE)
ADD_NUMBER(AddInt64, int64, B_INT64_TYPE)

#undef ADD_NUMBER

status_t BMessage::AddFloat(const char* name, float value)
{
    status_t status;
    Field& field = Add(name, B_FLOAT_TYPE, &status);
    if (status == B_OK)
        field.reals.push_back(value);
    return status;
}

status_t BMessage::AddString(const char* name, const char* value)
{
    status_t status;
    Field& field = Add(name, B_STRING_TYPE, &status);
    if (status == B_OK)
        field.texts.emplace_back(value != nullptr ? value : "");
    return status;
}

status_t BMessage::AddPointer(const char* name, const void* value)
{
    status_t status;
    Field& field = Add(name, B_POINTER_TYPE, &status);
    if (status == B_OK)
        field.numbers.push_back(static_cast<int64>(reinterpret_cast<intptr_t>(value)));
    return status;
}

status_t BMessage::AddRef(const char* name, const entry_ref* ref)
{
    if (ref == nullptr)
        return B_BAD_VALUE;
    status_t status;
    Field& field = Add(name, B_REF_TYPE, &status);
    if (status == B_OK)
        field.texts.push_back(ref->path);
    return status;
}

status_t BMessage::FindInt32(const char* name, int32 index, int32* value) const
{
    status_t status;
    const Field* field = Find(name, B_INT32_TYPE, index, &status);
    if (field != nullptr)
        *value = static_cast<int32>(field->numbers[static_cast<size_t>(index)]);
    return status;
}

status_t BMessage::FindFloat(const char* name, float* value) const
{
    status_t status;
    const Field* field = Find(name, B_FLOAT_TYPE, 0, &status);
    if (field != nullptr)
        *value = static_cast<float>(field->reals[0]);
    return status;
}

status_t BMessage::FindPointer(const char* name, void** value) const
{
    status_t status;
    const Field* field = Find(name, B_POINTER_TYPE, 0, &status);
    if (field != nullptr)
        *value = reinterpret_cast<void*>(static_cast<intptr_t>(field->numbers[0]));
    return status;
}

status_t BMessage::FindRef(const char* name, int32 index, entry_ref* ref) const
{
    status_t status;
    const Field* field = Find(name, B_REF_TYPE, index, &status);
    if (field != nullptr)
        ref->path = field->texts[static_cast<size_t>(index)];
    return status;
}

status_t BMessage::GetInfo(const char* name, type_code* type, int32* count) const
{
    auto found = fields_.find(name != nullptr ? name : "");
    if (found == fields_.end())
        return B_NAME_NOT_FOUND;
    const Field& field = found->second;
    if (type != nullptr)
        *type = field.type;
    if (count != nullptr)
    {
        size_t values = field.numbers.size() + field.reals.size() + field.texts.size();
        *count = static_cast<int32>(values);
    }
    return B_OK;
}

namespace
{

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A dropped "file://" URI as a path: the host part dropped, %XX decoded. A plain path is taken
// as it is, since "%41" may be part of a real file's name.
std::string path_of_uri(std::string line)
{
    if (line.rfind("file://", 0) != 0)
        return line;
    line = line.substr(7);
    size_t slash = line.find('/');
    line = slash == std::string::npos ? "" : line.substr(slash);
    std::string path;
    for (size_t index = 0; index < line.size(); index++)
    {
        if (line[index] == '%' && index + 2 < line.size() && hex_digit(line[index + 1]) >= 0 &&
            hex_digit(line[index + 2]) >= 0)
        {
            path += static_cast<char>(hex_digit(line[index + 1]) * 16 + hex_digit(line[index + 2]));
            index += 2;
        }
        else
        {
            path += line[index];
        }
    }
    return path;
}

} // namespace

BMessage drop_message(const char* text, size_t length)
{
    BMessage message(B_SIMPLE_DATA);
    std::string list(text != nullptr ? text : "", text != nullptr ? length : 0);
    size_t start = 0;
    while (start < list.size())
    {
        size_t end = list.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = list.size();
        std::string line = list.substr(start, end - start);
        // Only a file's URI or absolute path names a file: any other text dropped (words
        // selected somewhere) is no file at all.
        if (line.rfind("file://", 0) == 0 || line.rfind('/', 0) == 0)
        {
            entry_ref ref(path_of_uri(line));
            if (!ref.path.empty())
                message.AddRef("refs", &ref);
        }
        start = end + 1;
    }
    return message;
}
