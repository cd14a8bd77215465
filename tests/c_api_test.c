/* Tests of the C interface, compiled as C99: what is its own over the library (whose tests
 * prove the reading and writing underneath) and over rizeroz.hpp (whose tests walk the
 * sample and throw the errors through the same functions): error objects and warnings with
 * their place, refused arguments and models refused before writing, rows one by one and in
 * bulk, the read callback, and documents read by name, from memory and pulled from a
 * function, written to memory and pushed to one. The Python package's tests cover the rest
 * of it (evaluation) through the same functions. Runs in the folder holding
 * data/sample.xml, natively and under wine. */
#include <rizeroz.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures;

#define CHECK(condition)                                                                                               \
    do                                                                                                                 \
    {                                                                                                                  \
        if (!(condition))                                                                                              \
        {                                                                                                              \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                              \
            ++failures;                                                                                                \
        }                                                                                                              \
    } while (0)

/* A whole file of up to 4 MB, with carriage returns dropped (Windows writes text with CR LF). */
static char* read_text(const char* path)
{
    FILE* file = fopen(path, "rb");
    if (file == NULL)
        return NULL;
    char* text = malloc(1 << 22);
    size_t length = fread(text, 1, (1 << 22) - 1, file), kept = 0;
    fclose(file);
    for (size_t i = 0; i < length; ++i)
        if (text[i] != '\r')
            text[kept++] = text[i];
    text[kept] = 0;
    return text;
}

static void write_text(const char* path, const char* text)
{
    FILE* file = fopen(path, "wb");
    fputs(text, file);
    fclose(file);
}

static int row_is(const rz_block* block, int index, const char* bytes, size_t length)
{
    size_t got;
    const unsigned char* row = rz_block_row(block, index, &got);
    return got == length && (length == 0 || memcmp(row, bytes, length) == 0);
}

/* Whether the block's rows lie packed where rz_block_packed_rows says, the same bytes and
   ends that rz_block_copy_rows gives (blocks of at most 8 rows and 64 bytes). */
static int packed_as_copied(const rz_block* block)
{
    const unsigned char* start = NULL;
    unsigned char copied[64];
    size_t ends[8], copied_ends[8];
    int rows = rz_block_packed_rows(block, &start, ends, 8);
    return rows > 0 && start != NULL && rz_block_copy_rows(block, copied, sizeof copied, copied_ends, 8) == rows &&
           memcmp(ends, copied_ends, (size_t)rows * sizeof ends[0]) == 0 && memcmp(start, copied, ends[rows - 1]) == 0;
}

/* What the read callback was told: the rows as "field.block.row:bytes", and the progress. */
struct told
{
    char rows[256];
    int progress_calls;
    unsigned long long last_read, last_total;
    int stray_totals; /* rows told a total other than the progress's last */
};

static void RZ_CALL note(void* context, int field, int block, int row, size_t row_bytes, unsigned long long bytes_read,
                         unsigned long long bytes_total)
{
    struct told* told = context;
    size_t used = strlen(told->rows);
    if (row >= 0)
        snprintf(told->rows + used, sizeof told->rows - used, " %d.%d.%d:%u", field, block, row, (unsigned)row_bytes);
    else
        ++told->progress_calls;
    if (row >= 0 && told->progress_calls > 0 && bytes_total != told->last_total)
        ++told->stray_totals;
    told->last_read = bytes_read;
    told->last_total = bytes_total;
}

static void test_errors(void)
{
    CHECK(rz_write(NULL, "x.xml", 0, NULL) == RZ_ERR_ARGUMENT && rz_error_errno(NULL) == 0 &&
          rz_error_offset(NULL) == -1);

    /* Writes that the system refuses, plainly and safely: its errno, and no offset. Models
       that would not read back as written are refused by both kinds of write before the file
       is touched, with a sentence naming the text or row: a field name holding '"' (model 1),
       and an 8-byte row of a 16-bit block written as an expression (model 2), which would
       read back as 2 bytes. */
    // clang-format off
    static const struct { const char* path; unsigned flags; int model, code, error; const char* named; } writes[] = {
        {"c_api_no_folder/x.xml", 0, 0, -5, ENOENT, ""},
        {"c_api_kept.xml", 0, 1, RZ_ERR_UNWRITABLE, 0, "the name of field 0 holds the character '\"'"},
        {"c_api_kept.xml", RZ_WRITE_EXPRESSIONS, 2, RZ_ERR_UNWRITABLE, 0, "row 0 of block 0 of field 0 \"W\" holds 8 bytes"},
        {"c_api_kept.xml", RZ_WRITE_EXPRESSIONS | RZ_WRITE_SAFE, 2, RZ_ERR_UNWRITABLE, 0, "row 0 of block 0 of field 0 \"W\""},
#if !defined(_WIN32)
        {"/dev/full", 0, 0, -8, ENOSPC, ""},
        {"/dev/full", RZ_WRITE_SAFE, 0, -9, ENOSPC, ""},
#endif
    };
    // clang-format on
    static const char zeros[8] = {0};
    rz_model* models[3] = {rz_model_new(), rz_model_new(), rz_model_new()};
    rz_block_add_row(rz_field_add_block(rz_model_add_field(models[1], "A\"B"), 8), "\x01", 1);
    rz_block_add_row(rz_field_add_block(rz_model_add_field(models[2], "W"), 16), zeros, 8);
    for (size_t i = 0; i < sizeof writes / sizeof writes[0]; ++i)
    {
        FILE* exists = writes[i].path[0] == '/' ? fopen(writes[i].path, "rb") : NULL;
        if (writes[i].path[0] == '/' && exists == NULL)
            continue; /* not on this system */
        if (exists != NULL)
            fclose(exists);
        write_text("c_api_kept.xml", "old text");
        rz_error* error = NULL;
        const char* path = writes[i].path;
        CHECK(rz_write(models[writes[i].model], path, writes[i].flags, &error) == writes[i].code);
        CHECK(rz_error_code(error) == writes[i].code && strcmp(rz_error_path(error), path) == 0);
        CHECK(rz_error_errno(error) == writes[i].error && rz_error_offset(error) == -1);
        CHECK(strncmp(rz_error_message(error), path, strlen(path)) == 0 &&
              strstr(rz_error_message(error), writes[i].named) != NULL);
        rz_error_free(error);
        char* kept = read_text("c_api_kept.xml");
        CHECK(kept != NULL && strcmp(kept, "old text") == 0);
        free(kept);
    }
    /* Without expressions the wide row is written in hexadecimal and reads back whole. */
    rz_model* back = NULL;
    CHECK(rz_write(models[2], "c_api_kept.xml", RZ_WRITE_SAFE, NULL) == 0 &&
          rz_read("c_api_kept.xml", 0, &back, NULL) == 0);
    CHECK(row_is(rz_field_block(rz_model_field(back, 0), 0), 0, zeros, 8));
    rz_model_free(back);
    for (int i = 0; i < 3; ++i)
        rz_model_free(models[i]);

    /* Warnings, kept with the model when asked for (the wrapper's tests read them whole). */
    write_text("c_api_warnings.xml", "<SVF_Plus_Data>\n  <DataField/>\n</SVF_Plus_Data>\n");
    rz_model* model = NULL;
    CHECK(rz_read("c_api_warnings.xml", RZ_READ_WARNINGS, &model, NULL) == 0);
    CHECK(rz_model_warning_count(model) == 2 && rz_model_warnings_omitted(model) == 0);
    CHECK(rz_model_warning(model, 2) == NULL && rz_model_warning(model, -1) == NULL);
    CHECK(rz_error_code(rz_model_warning(model, 1)) == 8 && rz_error_column(rz_model_warning(model, 1)) == 3);
    rz_model_free(model);
    CHECK(strstr(rz_describe_code(8), "name") != NULL && rz_model_warning_count(NULL) == 0);
}

static void test_build_write_read(void)
{
    static const unsigned char bulk[] = {1, 2, 3, 4, 5, 6};
    static const size_t ends[] = {2, 2, 6};
    rz_model* model = rz_model_new();
    rz_block* wide = rz_field_add_block(rz_model_add_field(model, "FIELD_A"), 16);
    CHECK(rz_block_add_rows(wide, bulk, ends, 3) == 3);
    CHECK(rz_block_add_row(wide, "\xAA\xBB", 2) == 3);
    CHECK(rz_block_set_row(wide, 1, "\x0F\xF0", 2) == 0);
    rz_block* narrow = rz_field_add_block(rz_model_add_field(model, NULL), 8);
    CHECK(rz_block_add_row(narrow, "\x00", 1) == 0 && rz_block_set_row_width(narrow, 4) == 0);

    /* Refused arguments change nothing. */
    static const size_t falling[] = {4, 2};
    CHECK(rz_block_add_rows(wide, bulk, falling, 2) == RZ_ERR_ARGUMENT);
    CHECK(rz_block_set_row(wide, 4, "x", 1) == RZ_ERR_ARGUMENT &&
          rz_block_set_row(wide, -1, "x", 1) == RZ_ERR_ARGUMENT);
    CHECK(rz_write(model, "c_api_built.xml", 8, NULL) == RZ_ERR_ARGUMENT);
    CHECK(rz_block_row_count(wide) == 4 && rz_model_field_count(NULL) == 0 && rz_block_row(NULL, 0, NULL) == NULL);

    /* A data file and JSON, each written in place and safely, read back: the rows as long as
       they were, told of each row, or of the progress only. */
    static const unsigned written[] = {0, RZ_WRITE_EXPRESSIONS, RZ_WRITE_JSON, RZ_WRITE_JSON | RZ_WRITE_SAFE};
    for (size_t i = 0; i < sizeof written / sizeof written[0]; ++i)
    {
        unsigned flags = written[i];
        int json = (flags & RZ_WRITE_JSON) != 0;
        const char* path = json ? "c_api_built.json" : "c_api_built.xml";
        rz_model* back = NULL;
        struct told told = {"", 0, 0, 0, 0};
        CHECK(rz_write(model, path, flags, NULL) == 0);
        int rows = i % 2 == 0;
        CHECK(rz_read_with_callback(path, (json ? RZ_READ_JSON : 0) | (rows ? 0 : RZ_READ_PROGRESS_ONLY), note, &told,
                                    &back, NULL) == 0);
        CHECK(strcmp(told.rows, rows ? " 0.0.0:2 0.0.1:2 0.0.2:4 0.0.3:2 1.0.0:1" : "") == 0 &&
              told.progress_calls > 0);
        /* The rows read lie packed, for a binding to show where they are. */
        CHECK(packed_as_copied(rz_field_block(rz_model_field(back, 0), 0)));
        /* A field without a name is written with an empty one in a data file; JSON keeps it. */
        CHECK(json ? rz_field_name(rz_model_field(back, 1)) == NULL
                   : strcmp(rz_field_name(rz_model_field(back, 1)), "") == 0);
        CHECK(rz_block_row_width(rz_field_block(rz_model_field(back, 1), 0)) == 4);
        rz_model_free(back);
    }
    /* Rows copied from block to block, onto itself too, and across models. */
    rz_model* other = rz_model_new();
    rz_block* copy = rz_field_add_block(rz_model_add_field(other, "B"), 16);
    CHECK(rz_block_add_rows_from(copy, wide) == 4 && rz_block_add_rows_from(copy, copy) == 8);
    CHECK(row_is(copy, 5, "\x0F\xF0", 2) && row_is(copy, 6, "\x03\x04\x05\x06", 4) && row_is(copy, 4, "\x01\x02", 2));
    CHECK(rz_block_add_rows_from(copy, NULL) == RZ_ERR_ARGUMENT &&
          rz_block_add_rows_from(NULL, copy) == RZ_ERR_ARGUMENT);
    CHECK(rz_block_row_count(copy) == 8 && rz_block_byte_count(copy) == 20);
    /* A row that grows moves out of the run: the rows lie apart then, and none lie in an empty block. */
    const unsigned char* start = NULL;
    size_t packed_ends[8];
    CHECK(rz_block_set_row(copy, 0, "\x01\x02\x03\x04", 4) == 0);
    CHECK(rz_block_packed_rows(copy, &start, packed_ends, 8) == 0 && start == NULL);
    CHECK(rz_block_packed_rows(copy, &start, packed_ends, 7) == RZ_ERR_ARGUMENT &&
          rz_block_packed_rows(NULL, &start, packed_ends, 8) == RZ_ERR_ARGUMENT &&
          rz_block_packed_rows(copy, NULL, packed_ends, 8) == RZ_ERR_ARGUMENT);
    start = (const unsigned char*)"";
    CHECK(rz_block_packed_rows(rz_field_add_block(rz_model_field(other, 0), 8), &start, NULL, 0) == 0 && start == NULL);
    rz_model_free(other);
    /* Taking the rows copies them (into room enough for them) and leaves the block without rows. */
    unsigned char taken[10];
    size_t taken_ends[4];
    CHECK(rz_block_take_rows(wide, taken, 9, taken_ends, 4) == RZ_ERR_ARGUMENT);
    CHECK(rz_block_take_rows(wide, taken, sizeof taken, taken_ends, 4) == 4);
    CHECK(taken_ends[0] == 2 && taken_ends[1] == 4 && taken_ends[2] == 8 && taken_ends[3] == 10);
    CHECK(memcmp(taken, "\x01\x02\x0F\xF0\x03\x04\x05\x06\xAA\xBB", 10) == 0);
    CHECK(rz_block_row_count(wide) == 0 && rz_block_byte_count(wide) == 0);
    rz_model_free(model);
}

/* A document pulled in pieces of `chunk` bytes, failing with `error` once `fail_at`
   bytes are given (never when fail_at is past the end). */
struct pulled
{
    const char* bytes;
    size_t length, chunk, given, fail_at;
    int error;
};

static long long RZ_CALL pull(void* context, void* buffer, size_t capacity)
{
    struct pulled* p = context;
    if (p->given == p->fail_at)
        return -(long long)p->error;
    size_t count = p->length - p->given;
    count = count < capacity ? count : capacity;
    count = count < p->chunk ? count : p->chunk;
    count = count < p->fail_at - p->given ? count : p->fail_at - p->given;
    memcpy(buffer, p->bytes + p->given, count);
    p->given += count;
    return (long long)count;
}

/* Documents read by name, from memory and pulled from a function, data files and JSON: the
   sample as rz_read reads it (written again, byte for byte), with the rows and progress the
   callback is told, and what each refuses, named as the caller names them (or by default).
   A failure's record is the origin's, as it is: the system's errno and the byte offset come
   with the place (the 'g' of the row, the end of the document, the byte the read stopped at). */
static void test_read_sources(void)
{
    char* sample = read_text("data/sample.xml");
    static const char bad_row[] = "<SVF_Plus_Data version=\"1\">\n<DataField name=\"A\">\n"
                                  "  <FieldBlock row_width=\"8\">0x1g</FieldBlock>\n</DataField>\n</SVF_Plus_Data>\n";
    size_t never = (size_t)-1;
    rz_model* expected = NULL;
    void* json = NULL;
    size_t json_length = 0;
    CHECK(rz_read("data/sample.xml", 0, &expected, NULL) == 0);
    CHECK(rz_write_memory(expected, RZ_WRITE_JSON, &json, &json_length, NULL) == 0);
    rz_model_free(expected);
    // clang-format off
    const struct {
        int from;          /* 0: memory, 1: a pull function, 2: the file `name` holding `bytes` */
        const char* bytes; /* NULL: none (for a file: it does not exist) */
        size_t length, chunk, fail_at;
        int error;
        const char* name;
        int code;
        long line, column;
        long long offset;
        const char* message; /* how it starts */
        unsigned flags;
    } cases[] = {
        {0, sample, strlen(sample), 0, never, 0, "sample", 0, 0, 0, 0, "", 0},
        {1, sample, strlen(sample), 1, never, 0, "sample", 0, 0, 0, 0, "", 0},
        {0, NULL, 0, 0, never, 0, "", -109, 1, 1, 0, "<memory>:1:1: error: the document has no root element", 0},
        {0, NULL, 5, 0, never, 0, "x", RZ_ERR_ARGUMENT, 0, 0, -1, "x: ", 0},
        {2, NULL, 0, 0, never, ENOENT, "c_api_missing.xml", -101, 0, 0, -1, "c_api_missing.xml: error: the document cannot be opened (", 0},
        {2, bad_row, 0, 0, never, 0, "c_api_error.xml", -1, 3, 32, 80, "c_api_error.xml:3:32: error: row 0 of block 0 of field \"A\" breaks the hexadecimal row syntax: \"g\" stands where", 0},
        {2, "<Other/>\n", 0, 0, never, 0, "c_api_error.xml", RZ_ERR_NO_ROOT, 0, 0, -1, "c_api_error.xml: error: the document has no SVF_Plus_Data root element (error -109).", 0},
        {2, "<SVF_Plus_Data version=\"1\">\n", 0, 0, never, 0, "c_api_error.xml", -104, 2, 1, 28, "c_api_error.xml:2:1: error: the document ends inside markup or before all elements are closed (the document ends inside the element <SVF_Plus_Data>)", 0},
        {0, sample, strlen(sample), 0, never, 0, NULL, RZ_ERR_ARGUMENT, 0, 0, -1, "<memory>: ", 16},
        {1, sample, strlen(sample), 10, never, 0, NULL, RZ_ERR_ARGUMENT, 0, 0, -1, "<stream>: ", 16},
        {0, sample, strlen(sample), 0, never, 0, "sample", 0, 0, 0, 0, "", RZ_READ_PROGRESS_ONLY | RZ_READ_WARNINGS},
        {1, sample, strlen(sample), 7, 100, EIO, "pulled", RZ_ERR_READ, 3, 7, 100, "pulled:3:7: error: reading the document failed (errno 5, ", 0},
        {1, sample, strlen(sample), 7, 100, EPIPE, "pulled", RZ_ERR_READ, 3, 7, 100, "pulled:3:7: error: reading the document failed (errno ", 0},
        {1, NULL, 0, 0, never, 0, NULL, RZ_ERR_ARGUMENT, 0, 0, -1, "<stream>: ", 0},
        {0, (const char*)json, json_length, 0, never, 0, "sample.json", 0, 0, 0, 0, "", RZ_READ_JSON},
        {1, (const char*)json, json_length, 1, never, 0, NULL, 0, 0, 0, 0, "", RZ_READ_JSON | RZ_READ_WARNINGS},
        {1, (const char*)json, json_length, 7, never, 0, NULL, 0, 0, 0, 0, "", RZ_READ_JSON | RZ_READ_PROGRESS_ONLY},
        {1, (const char*)json, json_length, 7, 100, EIO, "pulled", RZ_ERR_READ, 5, 5, 100, "pulled:5:5: error: reading the document failed (errno 5, ", RZ_READ_JSON},
    };
    // clang-format on
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    {
        struct pulled source = {cases[i].bytes, cases[i].length, cases[i].chunk, 0, cases[i].fail_at, cases[i].error};
        struct told told = {"", 0, 0, 0, 0};
        static int sentinel;
        rz_model* model = (rz_model*)&sentinel; /* a failed read sets it to NULL */
        rz_error* error = NULL;
        unsigned flags = cases[i].flags;
        int code;
        if (cases[i].from == 2 && cases[i].bytes != NULL)
            write_text(cases[i].name, cases[i].bytes);
        if (cases[i].from == 2)
            code = rz_read_with_callback(cases[i].name, flags, note, &told, &model, &error);
        else if (cases[i].from == 1)
            code = rz_read_stream(cases[i].bytes ? pull : NULL, &source, cases[i].name, flags, note, &told, &model,
                                  &error);
        else
            code = rz_read_memory(cases[i].bytes, cases[i].length, cases[i].name, flags, note, &told, &model, &error);
        CHECK(code == cases[i].code && (code == 0) == (model != NULL) && (code == 0) == (error == NULL));
        if (code == 0)
        {
            /* Each row (unless told of the progress only), and the progress at the end of each
               block (JSON: once the text is read). */
            int rows = (flags & RZ_READ_PROGRESS_ONLY) == 0;
            CHECK(strcmp(told.rows, rows ? " 0.0.0:4 0.0.1:4 1.0.0:32 1.0.1:32 1.1.0:1" : "") == 0);
            int json = (flags & RZ_READ_JSON) != 0;
            CHECK(told.progress_calls == (json ? 1 : 3) && told.last_read <= told.last_total && told.stray_totals == 0);
            CHECK(cases[i].from != 0 ||
                  (told.last_total == cases[i].length && (told.last_read < told.last_total) != json));
            /* The same model as rz_read's: written, the sample's bytes. */
            char* again;
            CHECK(rz_write(model, "c_api_source.xml", 0, NULL) == 0);
            again = read_text("c_api_source.xml");
            CHECK(again != NULL && strcmp(again, sample) == 0);
            free(again);
        }
        else
        {
            CHECK(rz_error_code(error) == code && rz_error_line(error) == cases[i].line &&
                  rz_error_column(error) == cases[i].column);
            /* The errno the function returned, and the byte the read stopped at. */
            CHECK(rz_error_errno(error) == cases[i].error && rz_error_offset(error) == cases[i].offset);
            CHECK(strncmp(rz_error_message(error), cases[i].message, strlen(cases[i].message)) == 0);
            /* The message names the path first, and ends with the sentence and the code. */
            CHECK(strncmp(rz_error_path(error), rz_error_message(error), strlen(rz_error_path(error))) == 0);
            const char* sentence = rz_error_sentence(error);
            CHECK(sentence[0] != 0 && strlen(sentence) < strlen(rz_error_message(error)) &&
                  strstr(rz_error_message(error), sentence) != NULL);
        }
        rz_model_free(model);
        rz_error_free(error);
    }
    rz_free(json);
    free(sample);
}

/* A read callback that stops the read (its context's rz_read_control) at its call
   `stop_at`, and counts the calls before and after it, and the bytes read when it stopped. */
struct stopper
{
    rz_read_control control;
    int stop_at, calls, calls_after;
    unsigned long long stopped_at, total;
};

static void RZ_CALL stop_reading(void* context, int field, int block, int row, size_t row_bytes,
                                 unsigned long long bytes_read, unsigned long long bytes_total)
{
    struct stopper* s = context;
    (void)field, (void)block, (void)row, (void)row_bytes;
    if (s->stop_at > 0 && s->calls == s->stop_at)
        ++s->calls_after;
    else if (++s->calls == s->stop_at)
    {
        s->stopped_at = bytes_read;
        s->total = bytes_total;
        s->control.stop = 1;
    }
}

/* A callback that stops a read ends it there, from a file, from memory and from a pull
   function, a data file and JSON, at a row or at the progress: no call after, nothing read
   beyond, RZ_ERR_STOPPED with the library's sentence and no model; without
   RZ_READ_STOPPABLE the read goes on, and the flag without a context is refused. */
static void test_read_stop(void)
{
    static unsigned char row[64];
    rz_model* model = rz_model_new();
    rz_field* field = rz_model_add_field(model, "A");
    for (int b = 0; b < 8; ++b)
    {
        rz_block* block = rz_field_add_block(field, 512);
        for (int r = 0; r < 500; ++r)
        {
            row[0] = (unsigned char)r;
            rz_block_add_row(block, row, sizeof row);
        }
    }
    void* texts[2] = {NULL, NULL};
    size_t lengths[2] = {0, 0};
    CHECK(rz_write_memory(model, 0, &texts[0], &lengths[0], NULL) == 0 &&
          rz_write_memory(model, RZ_WRITE_JSON, &texts[1], &lengths[1], NULL) == 0);
    FILE* file = fopen("c_api_stop.json", "wb");
    CHECK(file != NULL && fwrite(texts[1], 1, lengths[1], file) == lengths[1] && fclose(file) == 0);
    CHECK(rz_write(model, "c_api_stop.xml", 0, NULL) == 0 && lengths[0] > 500000 && lengths[1] > 500000);
    rz_model_free(model);
    // clang-format off
    const struct {
        int from;      /* 0: memory, 1: a pull function, 2: the file */
        unsigned flags;
        int stop_at;   /* the callback's call that stops the read (0: none) */
    } cases[] = {
        {0, RZ_READ_PROGRESS_ONLY, 2}, {1, RZ_READ_PROGRESS_ONLY, 1}, {2, RZ_READ_PROGRESS_ONLY, 3}, {2, 0, 5},
        {0, RZ_READ_JSON | RZ_READ_PROGRESS_ONLY, 1}, {1, RZ_READ_JSON, 7}, {2, RZ_READ_JSON | RZ_READ_PROGRESS_ONLY, 1},
        {2, 0, 0}, {1, RZ_READ_JSON, 0},
    };
    // clang-format on
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    {
        int json = (cases[i].flags & RZ_READ_JSON) != 0;
        struct pulled source = {texts[json], lengths[json], 4096, 0, (size_t)-1, 0};
        struct stopper s = {{0}, cases[i].stop_at, 0, 0, 0, 0};
        rz_model* read = NULL;
        rz_error* error = NULL;
        unsigned flags = cases[i].flags | RZ_READ_STOPPABLE;
        int code;
        if (cases[i].from == 0)
            code = rz_read_memory(texts[json], lengths[json], NULL, flags, stop_reading, &s, &read, &error);
        else if (cases[i].from == 1)
            code = rz_read_stream(pull, &source, NULL, flags, stop_reading, &s, &read, &error);
        else
            code = rz_read_with_callback(json ? "c_api_stop.json" : "c_api_stop.xml", flags, stop_reading, &s, &read,
                                         &error);
        if (cases[i].stop_at == 0)
        {
            CHECK(code == 0 && read != NULL && s.calls > 8 && s.calls_after == 0);
            rz_model_free(read);
            continue;
        }
        CHECK(code == RZ_ERR_STOPPED && read == NULL && rz_error_code(error) == RZ_ERR_STOPPED);
        CHECK(s.calls == cases[i].stop_at && s.calls_after == 0);
        /* Nothing read beyond the place it stopped: far from the end, and a stop at the
           progress placed no further than the bytes the progress told of. */
        CHECK(s.stopped_at < lengths[json] / 2 && rz_error_offset(error) <= (long long)lengths[json] / 2);
        CHECK((cases[i].flags & RZ_READ_PROGRESS_ONLY) == 0 || rz_error_offset(error) <= (long long)s.stopped_at);
        CHECK(cases[i].from != 1 || source.given <= s.stopped_at + 262144);
        CHECK(strstr(rz_error_message(error), rz_describe_code(RZ_ERR_STOPPED)) != NULL &&
              strstr(rz_describe_code(RZ_ERR_STOPPED), "stopped") != NULL);
        rz_error_free(error);
    }
    struct stopper unheard = {{0}, 1, 0, 0, 0, 0};
    rz_model* read = NULL;
    CHECK(rz_read_memory(texts[0], lengths[0], NULL, 0, stop_reading, &unheard, &read, NULL) == 0 && read != NULL &&
          unheard.calls_after > 8);
    rz_model_free(read);
    CHECK(rz_read_memory(texts[0], lengths[0], NULL, RZ_READ_STOPPABLE, stop_reading, NULL, &read, NULL) ==
              RZ_ERR_ARGUMENT &&
          read == NULL);
    rz_free(texts[0]);
    rz_free(texts[1]);
}

/* A push callback that keeps what it takes, and fails as it is told. */
struct collected
{
    char* bytes;
    size_t size;
    int calls;
    size_t largest;
    int fail_at;     /* the call (from 1) that fails; 0 for none */
    long long gives; /* what that call returns: a negative errno, or a short count */
};

static long long RZ_CALL collect(void* context, const void* bytes, size_t count)
{
    struct collected* sink = context;
    if (++sink->calls == sink->fail_at)
        return sink->gives;
    sink->bytes = realloc(sink->bytes, sink->size + count);
    memcpy(sink->bytes + sink->size, bytes, count);
    sink->size += count;
    sink->largest = count > sink->largest ? count : sink->largest;
    return (long long)count;
}

/* A callback that, on its second call, tries every change of the model being written,
   and a write of it, and frees it with `frees`: each change is refused and the text goes
   on as the model was; the model is freed once the write is over. */
struct meddling
{
    struct collected sink;
    rz_model* model;
    int refused; /* changes refused with RZ_ERR_BUSY (or, adding, with NULL) */
    int frees;
};

static long long RZ_CALL meddle(void* context, const void* bytes, size_t count)
{
    struct meddling* m = context;
    if (m->sink.calls == 1)
    {
        rz_field* field = rz_model_field(m->model, 0);
        rz_block* block = rz_field_block(field, 0);
        static const unsigned char row[1000];
        size_t ends[1] = {sizeof(row)};
        void* text = NULL;
        size_t size = 0;
        int codes[] = {rz_model_set_version(m->model, "9"),
                       rz_model_set_comment(m->model, "c"),
                       rz_field_set_name(field, "N"),
                       rz_field_set_checksum(field, 1),
                       rz_block_set_row_width(block, 8),
                       rz_block_set_row(block, 0, row, sizeof(row)),
                       rz_block_add_row(block, row, 1),
                       rz_block_add_rows(block, row, ends, 1),
                       rz_block_add_rows_from(block, block),
                       rz_block_take_rows(block, NULL, 0, NULL, 0),
                       rz_write_memory(m->model, 0, &text, &size, NULL)};
        for (size_t i = 0; i < sizeof(codes) / sizeof(codes[0]); ++i)
            m->refused += codes[i] == RZ_ERR_BUSY;
        m->refused += rz_model_add_field(m->model, "X") == NULL && rz_field_add_block(field, 8) == NULL;
        if (m->frees)
            rz_model_free(m->model);
    }
    return collect(&m->sink, bytes, count);
}

/* The text in memory and through a callback is the file's (line feeds, as on Linux), in
   pieces of at most 256 KB; a callback that fails or takes less fails the write with the
   system's reason, and is called no more; a model that would not read back is refused
   before anything is handed over. */
static void test_sinks(void)
{
    rz_model* model = rz_model_new();
    rz_block* block = rz_field_add_block(rz_model_add_field(model, "BIG"), 2048);
    unsigned char row[256];
    for (int i = 0; i < 4000; ++i)
    {
        for (size_t k = 0; k < sizeof(row); ++k)
            row[k] = (unsigned char)(i * 31 + k);
        rz_block_add_row(block, row, sizeof(row));
    }
    /* A data file in pieces of at most 256 KB; JSON in pieces of about 1 MB. */
    for (unsigned flags = 0; flags <= RZ_WRITE_JSON; flags += RZ_WRITE_JSON)
    {
        const char* path = flags ? "c_api_sinks.json" : "c_api_sinks.xml";
        CHECK(rz_write(model, path, flags, NULL) == 0);
        char* file = read_text(path);
        void* memory = NULL;
        size_t size = 0;
        CHECK(rz_write_memory(model, flags, &memory, &size, NULL) == 0);
        CHECK(file != NULL && size == strlen(file) && memcmp(memory, file, size) == 0);
        struct collected whole = {NULL, 0, 0, 0, 0, 0};
        CHECK(rz_write_stream(model, flags, collect, &whole, NULL, NULL) == 0);
        CHECK(whole.size == size && memcmp(whole.bytes, memory, size) == 0 && whole.calls > 1 &&
              whole.largest <= (flags ? 4u << 20 : 262144));
        // clang-format off
        static const struct { int fail_at; long long gives; int reason; } failing[] = {
            {2, -ENOSPC, ENOSPC}, {1, 100, EIO}, {3, 7, EIO},
        };
        // clang-format on
        for (size_t i = 0; i < sizeof(failing) / sizeof(failing[0]); ++i)
        {
            struct collected sink = {NULL, 0, 0, 0, failing[i].fail_at, failing[i].gives};
            rz_error* error = NULL;
            CHECK(rz_write_stream(model, flags, collect, &sink, "out.xml", &error) == RZ_ERR_WRITE);
            CHECK(sink.calls == failing[i].fail_at && strncmp(rz_error_message(error), "out.xml", 7) == 0);
            CHECK(strstr(rz_error_message(error), strerror(failing[i].reason)) != NULL);
            /* The offset is where the piece the callback refused or took in part begins. */
            CHECK(rz_error_errno(error) == failing[i].reason && rz_error_offset(error) == (long long)sink.size);
            rz_error_free(error);
            free(sink.bytes);
        }
        rz_free(memory);
        free(whole.bytes);
        free(file);
    }
    for (int frees = 0; frees <= 1; ++frees)
    {
        void* memory = NULL;
        size_t size = 0;
        rz_model* written = frees ? NULL : model;
        CHECK(frees ? rz_read("c_api_sinks.xml", 0, &written, NULL) == 0 : 1);
        CHECK(rz_write_memory(written, 0, &memory, &size, NULL) == 0);
        struct meddling m = {{NULL, 0, 0, 0, 0, 0}, written, 0, frees};
        CHECK(rz_write_stream(written, 0, meddle, &m, NULL, NULL) == 0 && m.refused == 12);
        CHECK(m.sink.size == size && memcmp(m.sink.bytes, memory, size) == 0);
        rz_free(memory);
        free(m.sink.bytes);
    }
    CHECK(rz_model_set_version(model, "9") == 0); /* the write over, changes are taken again */
    rz_model_add_field(model, "say \"hi\"");
    struct collected none = {NULL, 0, 0, 0, 0, 0};
    void* refused = &none;
    size_t size = 0;
    CHECK(rz_write_stream(model, 0, collect, &none, NULL, NULL) == RZ_ERR_UNWRITABLE && none.calls == 0);
    CHECK(rz_write_memory(model, 0, &refused, &size, NULL) == RZ_ERR_UNWRITABLE && refused == NULL && size == 0);
    CHECK(rz_write_memory(model, RZ_WRITE_SAFE, &refused, &size, NULL) == RZ_ERR_ARGUMENT);
    rz_model_free(model);
}

int main(void)
{
    CHECK(strcmp(rz_version(), RIZEROZ_EXPECTED_VERSION) == 0);
    CHECK(strstr(rz_describe_code(RZ_ERR_MEMORY), "memory") != NULL);
    test_errors();
    test_build_write_read();
    test_sinks();
    test_read_sources();
    test_read_stop();
    if (failures > 0)
    {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    printf("every check passed\n");
    return 0;
}
