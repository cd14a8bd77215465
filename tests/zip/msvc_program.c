/* msvc_program.c: a program of the C interface as Microsoft's toolchain builds it. The
 * package step (cmake/CheckMsvcLink.cmake) compiles it with clang for i686- and
 * x86_64-pc-windows-msvc and links it with lld-link's default options (on x86 these
 * enforce safe exception handlers) against a zip's rizeroz.lib, without a C runtime:
 * its entry point is `start`, and it ends with ExitProcess. Run beside the zip's
 * rizeroz.dll, in a folder holding tests/data/sample.xml as sample.xml, it reads that
 * file, writes a changed copy, reads the copy back and fails to read a missing file.
 * The exit code is 0 when every check passed, else the number of the first that failed.
 */
#include <rizeroz.h>

__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

/* rz_read's code for a file that cannot be opened (docs/error-codes.md). */
enum
{
    CANNOT_OPEN = -101
};

static int same_text(const char* text, const char* expected)
{
    if (text == NULL)
        return 0;
    while (*text != '\0' && *text == *expected)
    {
        ++text;
        ++expected;
    }
    return *text == *expected;
}

static int ends_with(const char* text, const char* end)
{
    const char* last = text;
    size_t length = 0;
    if (text == NULL)
        return 0;
    while (end[length] != '\0')
        ++length;
    while (*last != '\0')
        ++last;
    return (size_t)(last - text) >= length && same_text(last - length, end);
}

/* The row INDEX of block BLOCK of field FIELD is LENGTH bytes equal to EXPECTED. */
static int row_is(const rz_model* model, int field, int block, int index, const unsigned char* expected, size_t length)
{
    size_t got = 0;
    size_t i;
    const unsigned char* row = rz_block_row(rz_field_block(rz_model_field(model, field), block), index, &got);
    if (row == NULL || got != length)
        return 0;
    for (i = 0; i < length; ++i)
        if (row[i] != expected[i])
            return 0;
    return 1;
}

/* The rows of the bundled sample (and of the copy, whose first row is changed). */
static const unsigned char ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
static const unsigned char low_ones[] = {0x00, 0x00, 0xFF, 0xFF};
static const unsigned char changed[] = {0x12, 0x34, 0x56, 0x78};
static const unsigned char fuse_block_row[] = {0x5A};

static int sample_is(const rz_model* model, const unsigned char* first_row)
{
    rz_field* user = rz_model_field(model, 0);
    rz_field* fuse = rz_model_field(model, 1);
    return rz_model_field_count(model) == 2 && same_text(rz_field_name(user), "Usercode_MASK") &&
           rz_field_checksum(user) == 0x1a2b && rz_field_block_count(user) == 1 &&
           rz_block_row_width(rz_field_block(user, 0)) == 32 && rz_block_row_count(rz_field_block(user, 0)) == 2 &&
           row_is(model, 0, 0, 0, first_row, 4) && row_is(model, 0, 0, 1, low_ones, 4) &&
           same_text(rz_field_name(fuse), "FuseArray_MASK") && rz_field_block_count(fuse) == 2 &&
           rz_block_row_width(rz_field_block(fuse, 1)) == 8 && row_is(model, 1, 1, 0, fuse_block_row, 1);
}

/* rz_write_stream's callback: the pieces must be the bytes of rz_write_memory, in order. */
struct stream_check
{
    const unsigned char* expected;
    size_t size;
    size_t offset;
    int wrong;
};

static long long RZ_CALL compare_piece(void* context, const void* bytes, size_t count)
{
    struct stream_check* check = (struct stream_check*)context;
    const unsigned char* piece = (const unsigned char*)bytes;
    size_t i;
    for (i = 0; i < count; ++i)
        if (check->offset + i >= check->size || piece[i] != check->expected[check->offset + i])
            check->wrong = 1;
    check->offset += count;
    return (long long)count;
}

/* Each check returns the number it fails with, 0 when it passes. */
static unsigned check_copy(rz_model* model)
{
    rz_error* error = NULL;
    rz_model* copy = NULL;
    void* data = NULL;
    size_t size = 0;
    struct stream_check stream = {NULL, 0, 0, 0};
    unsigned failed = 0;
    if (rz_block_set_row(rz_field_block(rz_model_field(model, 0), 0), 0, changed, sizeof changed) != 0)
        return 4;
    if (rz_write(model, "written.xml", RZ_WRITE_SAFE, &error) != 0 || error != NULL)
        return 5;
    if (rz_read("written.xml", 0, &copy, &error) != 0 || copy == NULL || error != NULL)
        return 6;
    if (!sample_is(copy, changed))
        failed = 7;
    rz_model_free(copy);
    if (failed != 0)
        return failed;
    /* The same text in memory and through a callback of this program. */
    if (rz_write_memory(model, 0, &data, &size, &error) != 0 || data == NULL || size == 0)
        return 8;
    stream.expected = (const unsigned char*)data;
    stream.size = size;
    if (rz_write_stream(model, 0, compare_piece, &stream, "stream", &error) != 0 || error != NULL ||
        stream.wrong != 0 || stream.offset != size)
        failed = 9;
    rz_free(data);
    return failed;
}

static unsigned check_missing(void)
{
    rz_error* error = NULL;
    rz_model* model = NULL;
    unsigned failed = 0;
    if (rz_read("missing.xml", 0, &model, &error) != CANNOT_OPEN || model != NULL || error == NULL)
        return 10;
    if (rz_error_code(error) != CANNOT_OPEN || !ends_with(rz_error_path(error), "missing.xml") ||
        rz_error_message(error) == NULL || rz_error_message(error)[0] == '\0')
        failed = 11;
    rz_error_free(error);
    return failed;
}

static unsigned check_all(void)
{
    rz_error* error = NULL;
    rz_model* model = NULL;
    unsigned failed;
    /* rz_version is imported through __declspec(dllimport), the others through thunks. */
    if (!same_text(rz_version(), RIZEROZ_VERSION_STRING))
        return 1;
    if (rz_read("sample.xml", 0, &model, &error) != 0 || model == NULL || error != NULL)
        return 2;
    failed = sample_is(model, ones) ? check_copy(model) : 3;
    rz_model_free(model);
    return failed != 0 ? failed : check_missing();
}

void __cdecl start(void)
{
    ExitProcess(check_all());
}
