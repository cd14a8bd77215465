/* rizeroz.h: the C interface of the RIZ Eroz data file library.
 *
 * Plain C (C99, and C++11 when included from C++), exported from the same library as
 * the C++ classes (librizeroz.so, rizeroz.dll) under unmangled cdecl names. rizeroz.hpp
 * wraps it for C++ callers built by any compiler.
 *
 *   rz_model* model = NULL;
 *   rz_error* error = NULL;
 *   if (rz_read("sample.xml", 0, &model, &error) != 0) {
 *       fprintf(stderr, "%s\n", rz_error_message(error));
 *       rz_error_free(error);
 *   }
 *
 * Conventions:
 * - Handles are opaque. A model (rz_model) is owned by the caller and freed with
 *   rz_model_free; its fields (rz_field) and blocks (rz_block) belong to it and live
 *   as long as it does. Fields and blocks are never removed; rows only by
 *   rz_block_take_rows.
 * - Functions that can fail return an int: 0 or more is success, a negative value a
 *   result code (docs/error-codes.md). Nothing is thrown; running out of memory gives
 *   RZ_ERR_MEMORY.
 * - Where a function takes `rz_error** error`, a failure stores there a new error object
 *   (free it with rz_error_free) when `error` is not NULL; success stores NULL.
 * - Paths are UTF-8 on every system: on Windows they reach the file system as UTF-16
 *   (_wfopen, CreateFileW, MoveFileExW), so names of any script open; bytes that are no
 *   UTF-8 are read in the ANSI code page, as older callers meant them.
 * - Indexes count from 0. Texts are zero-terminated bytes, UTF-8 by convention, kept
 *   as the model holds them; a returned text or row lives until it is changed or its
 *   model is freed.
 * - A model may be used by one thread at a time; separate models on separate threads.
 */
#ifndef RIZEROZ_H
#define RIZEROZ_H

#include <stddef.h>

/* The version macros (RIZEROZ_VERSION_STRING, ...) and rz_version(), the version of the
   loaded library, "MAJOR.MINOR.PATCH" (static text). */
#include "RizErozVersion.h"

#if defined(_WIN32) || defined(__CYGWIN__)
/* Exported through the library's .def file; the import library resolves the names. */
#define RZ_API
#else
#define RZ_API RIZEROZ_API
#endif
#define RZ_CALL RIZEROZ_CDECL

#ifdef __cplusplus
extern "C" {
#endif

typedef struct rz_model rz_model;
typedef struct rz_field rz_field;
typedef struct rz_block rz_block;
typedef struct rz_error rz_error;

/* Result codes of the C interface itself; the library's other codes pass through. */
enum
{
    RZ_OK = 0,
    RZ_ERR_ARGUMENT = -301,  /* a NULL handle or pointer, an index out of range, a
                                length the model cannot hold, or undefined flags */
    RZ_ERR_MEMORY = -302,    /* memory ran out */
    RZ_ERR_NO_ROOT = -109,   /* rz_read: the document has no SVF_Plus_Data root element */
    RZ_ERR_READ = -102,      /* rz_read: reading the document failed (a source's failure) */
    RZ_ERR_WRITE = -8,       /* rz_write: not every byte reached the file */
    RZ_ERR_SAVE = -9,        /* rz_write with RZ_WRITE_SAFE: not saved; the old file is as it was */
    RZ_ERR_UNWRITABLE = -13, /* rz_write: a text or row would not read back as written; nothing written */
    RZ_ERR_BUSY = -16,       /* the model is being written (from inside rz_write_stream's callback):
                                it is not changed, nor written again, until that write returns */
    RZ_ERR_STOPPED = -17     /* a read's callback stopped the read (RZ_READ_STOPPABLE) */
};

/* Flags of rz_read, rz_read_with_callback, rz_read_memory and rz_read_stream. */
enum
{
    RZ_READ_WARNINGS = 1,      /* keep the warnings of the read with the model (rz_model_warning) */
    RZ_READ_JSON = 2,          /* the text is the JSON form of a model (docs/cli.md, "The JSON shape") */
    RZ_READ_PROGRESS_ONLY = 4, /* tell the callback of the progress alone, never of a row: a caller
                                  that only shows how far the read has come is called once a
                                  field block rather than once a row */
    RZ_READ_STOPPABLE = 8      /* `context` begins with an rz_read_control, whose `stop` the
                                  callback sets to stop the read */
};

/* Flags of rz_write, rz_write_memory and rz_write_stream. */
enum
{
    RZ_WRITE_EXPRESSIONS = 1, /* rows as expressions where those are shorter (nothing for JSON) */
    RZ_WRITE_SAFE = 2,        /* the safe save: the old file stays until the new one is whole */
    RZ_WRITE_JSON = 4         /* the JSON form of the model instead of a data file */
};

/* ---- The library ---- */

/* What a result code means, in a few words; for a warning's code (positive, see
   docs/warnings.md) what the reader does. Static text, never NULL. */
RZ_API const char* RZ_CALL rz_describe_code(int code);

/* ---- Errors ---- */

/* The result code (negative). */
RZ_API int RZ_CALL rz_error_code(const rz_error* error);
/* One sentence naming the file, the place where known, what went wrong and the code, in
   the form editors read: "FILE:LINE:COLUMN: error: SENTENCE (error CODE)." ("warning"
   for a warning; "FILE: error: ..." where the place is not known); lives as long as the
   error. */
RZ_API const char* RZ_CALL rz_error_message(const rz_error* error);
/* What went wrong, in one sentence without the file, the place and the code (to put
   them as a caller's messages do: "FILE:LINE:COLUMN: error: SENTENCE"); lives as long
   as the error. */
RZ_API const char* RZ_CALL rz_error_sentence(const rz_error* error);
/* The file as the caller named it, or ""; lives as long as the error. */
RZ_API const char* RZ_CALL rz_error_path(const rz_error* error);
/* Line and column (from 1) of the failure in the document; 0 when not known. */
RZ_API long RZ_CALL rz_error_line(const rz_error* error);
RZ_API long RZ_CALL rz_error_column(const rz_error* error);
/* The system's error number (errno, as <errno.h> names it) of the failure: a file that does
   not open (ENOENT, EACCES, ...), a read that fails (or the negated errno a read function
   returned), a write or a save that fails (or a write callback's; EIO for a short count);
   0 when the system gave no reason (a document the reader refuses, say). */
RZ_API int RZ_CALL rz_error_errno(const rz_error* error);
/* The byte offset (from 0) in the document where the failure arose: the character a
   parser error or a warning stands at, the byte a read failed at, the first byte of the
   piece a write callback did not take whole; -1 when not known (a file that does not open,
   a file written or saved, whose buffers may have lost earlier bytes). */
RZ_API long long RZ_CALL rz_error_offset(const rz_error* error);
/* Frees an error; NULL is allowed. */
RZ_API void RZ_CALL rz_error_free(rz_error* error);

/* ---- Reading and writing files ---- */

/* Forms of a text (rz_text_form). */
enum
{
    RZ_FORM_UNKNOWN = 0, /* not yet known: the bytes so far are all white space */
    RZ_FORM_XML = 1,     /* a data file */
    RZ_FORM_JSON = 2     /* the JSON form of a model: read it with RZ_READ_JSON */
};

/* Which form a text is in, as the rizeroz tool, Python and the viewer page decide it when
   nobody says: with `name` (a path or a file's name; not NULL) by the name alone, JSON
   when it ends in ".json" in any letter case, else a data file. With NULL `name`, by the
   `size` bytes at `data`, the text's start: JSON when its first byte that is no white
   space (space, tab, line feed, carriage return), after a UTF-8 byte order mark, is '{',
   else a data file; white space only, and no bytes at all, are a data file, unless `more`
   is non-zero (more of the text is to come): then RZ_FORM_UNKNOWN. */
RZ_API int RZ_CALL rz_text_form(const char* name, const void* data, size_t size, int more);

/* Reads the data file `path` (UTF-8; '\\' also separates folders) into
   a new model stored in *model, which the caller frees. `flags`: RZ_READ_WARNINGS,
   which keeps with the model what the reader took leniently (rz_model_warning), and
   RZ_READ_JSON, which reads the file as the JSON form of a model instead (it has no
   warnings: RZ_READ_WARNINGS then keeps none), or 0. Returns 0, or a negative code with
   *model NULL: the reader's code for a file it refuses, or RZ_ERR_NO_ROOT for a document
   without an SVF_Plus_Data element; for JSON, -14 for malformed JSON (or too deep, a
   member twice, not UTF-8) and -15 for a member the shape does not allow, placed at the
   line and column where they stand. */
RZ_API int RZ_CALL rz_read(const char* path, unsigned flags, rz_model** model, rz_error** error);

/* Told of a read as it goes, from inside rz_read_with_callback: after each row, `field`,
   `block` and `row` (from 0, as the model numbers them) and the row's length in bytes;
   after each field block element (for JSON, after each 256 KiB of the text), -1 for all
   three and 0 (with RZ_READ_PROGRESS_ONLY, only then). `bytes_read` of `bytes_total`
   bytes of the document are read then (the total is the file's size, or for a pipe what
   has been read so far). `context` is the caller's. */
typedef void(RZ_CALL* rz_read_callback)(void* context, int field, int block, int row, size_t row_bytes,
                                        unsigned long long bytes_read, unsigned long long bytes_total);

/* With RZ_READ_STOPPABLE in a read's flags, the callback's `context` points to one of
   these (or to a struct of the caller's that begins with one), `stop` 0 at the start. A
   callback that sets `stop` to anything else stops the read there: the reader does not
   call it again, reads no further and returns RZ_ERR_STOPPED (-17) with no model, its
   error placed where the read stopped. The reader looks at `stop` after each call of the
   callback, on the reading thread; a NULL `context` with the flag is RZ_ERR_ARGUMENT. */
typedef struct rz_read_control
{
    int stop;
} rz_read_control;

/* rz_read, telling `callback` (NULL: none, as rz_read) of the rows and the progress. */
RZ_API int RZ_CALL rz_read_with_callback(const char* path, unsigned flags, rz_read_callback callback, void* context,
                                         rz_model** model, rz_error** error);

/* Reads a document from memory: the `size` bytes at `data`, which need not end in a NUL
   byte (a NUL byte in them is refused where it stands, as XML allows none). They are read
   where they lie, without a copy, so they must stay alive and unchanged until the call
   returns; NULL `data` with `size` 0 is an empty document. `name` stands for the
   document in messages, warnings and rz_error_path (NULL or "": "<memory>"). `flags`,
   `callback` and `context` as rz_read_with_callback's (the progress counts how far the
   read has come in the buffer, of its size). With RZ_READ_JSON the bytes are copied into
   the JSON reader's buffer 256 KiB at a time instead. Returns 0 or a negative code, as
   rz_read. */
RZ_API int RZ_CALL rz_read_memory(const void* data, size_t size, const char* name, unsigned flags,
                                  rz_read_callback callback, void* context, rz_model** model, rz_error** error);

/* Gives rz_read_stream the next bytes of a document, from inside it and on its thread:
   stores at most `capacity` bytes (more than 0) at `buffer` and returns how many it
   stored, fewer whenever it likes; 0 at the end of the document; or, for a failure, its
   errno negated (-EIO, say), which ends the read with RZ_ERR_READ (-102) and a message
   holding that errno and the byte offset where the read failed. After 0 or a failure it
   is not called again. `context` is the caller's. */
typedef long long(RZ_CALL* rz_read_function)(void* context, void* buffer, size_t capacity);

/* Reads a document that `read(read_context, ...)` gives, piece by piece, into a new
   model: nothing is held but the parser's window (256 KiB) and what the model keeps.
   `name` stands for the document in messages (NULL or "": "<stream>"). `flags`,
   `callback` and `context` as rz_read_with_callback's (the total is what has been read
   so far). Returns 0 or a negative code, as rz_read. */
RZ_API int RZ_CALL rz_read_stream(rz_read_function read, void* read_context, const char* name, unsigned flags,
                                  rz_read_callback callback, void* context, rz_model** model, rz_error** error);

/* The warnings of the read that made `model` with RZ_READ_WARNINGS, in the order found:
   how many are kept (the first 1000; 0 for any other model), and warning `index` as an
   error object that the model owns (do not free it; NULL outside the range). Its code
   is the warning's (positive), its message names the file and the place, and its line
   and column are where the warning stands. */
RZ_API int RZ_CALL rz_model_warning_count(const rz_model* model);
RZ_API const rz_error* RZ_CALL rz_model_warning(const rz_model* model, int index);
/* Warnings beyond those kept, which were only counted. */
RZ_API long RZ_CALL rz_model_warnings_omitted(const rz_model* model);
/* Writes `model` to `path` in the library's layout, replacing the file (a write-mode
   open truncates it at once). With RZ_WRITE_SAFE the text goes to a temporary file
   beside it that takes its place once every byte is on the disk (SafeSave.h): on any
   failure the old file is left as it was. `flags`: RZ_WRITE_EXPRESSIONS, RZ_WRITE_SAFE
   and RZ_WRITE_JSON in any combination, or 0. Returns 0 once every byte reached the file,
   else a negative code (RZ_ERR_WRITE, or RZ_ERR_SAVE when safe, for a failed write); the
   model is not changed. Either way a model whose document would not read back as written
   (a text the file cannot carry as it is, such as a field name holding '"', or with
   RZ_WRITE_EXPRESSIONS a row longer than its width holds written as an expression) gives
   RZ_ERR_UNWRITABLE, naming the text or row, before any file is touched
   (docs/saving.md). With RZ_WRITE_JSON the file gets the JSON form of the model
   (line feeds on every system), which carries every model: nothing is refused, and
   RZ_WRITE_EXPRESSIONS changes nothing (JSON rows are always hexadecimal). */
RZ_API int RZ_CALL rz_write(const rz_model* model, const char* path, unsigned flags, rz_error** error);

/* ---- Writing to memory and to a stream ---- */

/* Writes `model` as rz_write writes a file, into memory: *data and *size get the text, the
   bytes a file gets on Linux (line feeds on every system), which the caller frees with
   rz_free. `flags`: RZ_WRITE_EXPRESSIONS, RZ_WRITE_JSON, both or 0. Returns 0, or a
   negative code with *data NULL and *size 0: RZ_ERR_UNWRITABLE as rz_write,
   RZ_ERR_MEMORY. */
RZ_API int RZ_CALL rz_write_memory(const rz_model* model, unsigned flags, void** data, size_t* size, rz_error** error);
/* Frees what rz_write_memory gave; NULL is allowed. */
RZ_API void RZ_CALL rz_free(void* data);

/* Takes the next `count` bytes of the text (from inside rz_write_stream): returns how many
   it took, or a negative system error number (-EIO, say); fewer than `count` fails the
   write. `context` is the caller's. */
typedef long long(RZ_CALL* rz_write_callback)(void* context, const void* bytes, size_t count);
/* Writes `model` as rz_write writes a file, handing the text to `write` in pieces of up
   to 256 KB (JSON in pieces of about 1 MB, at most 4 MB); `name` (NULL: "<stream>") is what messages call
   the output. `flags`: RZ_WRITE_EXPRESSIONS, RZ_WRITE_JSON, both or 0. Returns 0, or a
   negative code: RZ_ERR_UNWRITABLE (nothing handed
   over) as rz_write, RZ_ERR_WRITE with the system's reason once `write` failed (what it
   took stays with it, and nothing more is handed over), RZ_ERR_MEMORY, RZ_ERR_BUSY for a
   model that is being written already. While `write` runs, the model is being written:
   every change of it, its fields or its blocks returns RZ_ERR_BUSY (the adding functions
   NULL) and changes nothing, and rz_model_free frees it when rz_write_stream returns. */
RZ_API int RZ_CALL rz_write_stream(const rz_model* model, unsigned flags, rz_write_callback write, void* context,
                                   const char* name, rz_error** error);

/* Evaluates a row expression (docs/expressions.md) into the row the reader makes of it
   for a row of `row_width` bits: the expression's first bytes, at most as many as the
   width holds. Copies at most `capacity` of them into `row` (NULL with capacity 0 only
   measures) and returns the row's length in bytes, or a negative code when the
   expression does not evaluate. */
RZ_API int RZ_CALL rz_evaluate(const char* expression, int row_width, unsigned char* row, size_t capacity,
                               rz_error** error);

/* ---- Models ---- */

/* A new, empty model (no version, no comment, no fields), or NULL without memory. */
RZ_API rz_model* RZ_CALL rz_model_new(void);
/* Frees a model with its fields, blocks and rows; NULL is allowed. A model being written
   (from inside rz_write_stream's callback) is freed when that write returns. */
RZ_API void RZ_CALL rz_model_free(rz_model* model);

/* The version text, or NULL when the model has none. */
RZ_API const char* RZ_CALL rz_model_version(const rz_model* model);
/* Stores a copy of `version`; NULL removes it. 0 or a negative code. */
RZ_API int RZ_CALL rz_model_set_version(rz_model* model, const char* version);
/* The comment text, or NULL when the model has none. */
RZ_API const char* RZ_CALL rz_model_comment(const rz_model* model);
/* Stores a copy of `comment`; NULL removes it. 0 or a negative code. */
RZ_API int RZ_CALL rz_model_set_comment(rz_model* model, const char* comment);

/* Number of data fields (0 for a NULL model). */
RZ_API int RZ_CALL rz_model_field_count(const rz_model* model);
/* Field `index`, or NULL outside 0 .. count - 1. */
RZ_API rz_field* RZ_CALL rz_model_field(const rz_model* model, int index);
/* Appends a field named `name` (a copy; NULL for none), checksum 0 and no blocks.
   Returns it, or NULL without memory (the field may then stay, without its name) or while
   the model is being written (RZ_ERR_BUSY below). */
RZ_API rz_field* RZ_CALL rz_model_add_field(rz_model* model, const char* name);

/* ---- Data fields ---- */

/* The field's name, or NULL when it has none. */
RZ_API const char* RZ_CALL rz_field_name(const rz_field* field);
/* Stores a copy of `name`; NULL removes it. 0 or a negative code. */
RZ_API int RZ_CALL rz_field_set_name(rz_field* field, const char* name);
/* The 16-bit checksum; 0 means the field has none (and none is written). */
RZ_API unsigned RZ_CALL rz_field_checksum(const rz_field* field);
/* Sets the checksum; values above 0xFFFF are refused. 0 or a negative code. */
RZ_API int RZ_CALL rz_field_set_checksum(rz_field* field, unsigned checksum);
/* Number of field blocks (0 for a NULL field). */
RZ_API int RZ_CALL rz_field_block_count(const rz_field* field);
/* Block `index`, or NULL outside 0 .. count - 1. */
RZ_API rz_block* RZ_CALL rz_field_block(const rz_field* field, int index);
/* Appends an empty block whose rows are `row_width` bits wide. Returns it, or NULL
   without memory or while the model is being written. A data file keeps two neighbouring
   blocks of one width as one. */
RZ_API rz_block* RZ_CALL rz_field_add_block(rz_field* field, int row_width);

/* ---- Field blocks and rows ---- */

/* Width of the block's rows in bits (0 for a NULL block). */
RZ_API int RZ_CALL rz_block_row_width(const rz_block* block);
/* Sets the width; rows are not changed. 0 or a negative code. */
RZ_API int RZ_CALL rz_block_set_row_width(rz_block* block, int row_width);
/* Number of rows (0 for a NULL block). */
RZ_API int RZ_CALL rz_block_row_count(const rz_block* block);
/* Row `index`: its bytes, their number in *length (when not NULL). NULL with length 0
   for an empty row or an index out of range. Lives until the row is changed. */
RZ_API const unsigned char* RZ_CALL rz_block_row(const rz_block* block, int index, size_t* length);
/* Replaces the bytes of row `index` with `length` bytes from `bytes`. A row need not
   hold as many bytes as the width says. 0 or a negative code. */
RZ_API int RZ_CALL rz_block_set_row(rz_block* block, int index, const void* bytes, size_t length);
/* Appends a row of `length` bytes from `bytes` (NULL with 0 for an empty row). Returns
   the new row's index or a negative code. */
RZ_API int RZ_CALL rz_block_add_row(rz_block* block, const void* bytes, size_t length);

/* In bulk, for bindings and large blocks: */
/* Total number of bytes in all the block's rows. */
RZ_API size_t RZ_CALL rz_block_byte_count(const rz_block* block);
/* Copies every row, one after the other, into `bytes` (room for `capacity` bytes) and
   the end of each row (its offset just past its last byte) into `ends` (room for
   `count` entries). Both must hold the whole block (rz_block_byte_count,
   rz_block_row_count). Returns the number of rows or a negative code. */
RZ_API int RZ_CALL rz_block_copy_rows(const rz_block* block, unsigned char* bytes, size_t capacity, size_t* ends,
                                      size_t count);
/* The rows where they lie, when each one begins where the one before it ends (as a read
   leaves the rows of most blocks): sets *start to the first byte of the first row and
   fills `ends` as rz_block_copy_rows does (room for `count` entries), copying nothing.
   Returns the number of rows; 0, with *start NULL, when the rows lie apart (or there are
   none), for the caller to copy them; or a negative code. The bytes stay where they are
   until the block's rows change or the model is freed. */
RZ_API int RZ_CALL rz_block_packed_rows(const rz_block* block, const unsigned char** start, size_t* ends, size_t count);
/* As rz_block_copy_rows, then removes every row from the block, freeing their memory
   at once: moves a model's rows elsewhere (into a binding's own objects, say) without
   two copies of them in memory. */
RZ_API int RZ_CALL rz_block_take_rows(rz_block* block, unsigned char* bytes, size_t capacity, size_t* ends,
                                      size_t count);
/* Appends `count` rows: row i is bytes[ends[i - 1] .. ends[i]) (from 0 for the first);
   `ends` must not decrease. Returns the block's new row count or a negative code:
   RZ_ERR_ARGUMENT adds no row; with RZ_ERR_MEMORY the rows added before stay. */
RZ_API int RZ_CALL rz_block_add_rows(rz_block* block, const void* bytes, const size_t* ends, size_t count);
/* Appends a copy of every row of `source` (of this model or another; `block` itself
   too): copies a block's rows into another model without passing them through the
   caller. Returns the block's new row count or a negative code: RZ_ERR_ARGUMENT adds no
   row; with RZ_ERR_MEMORY the rows added before stay. */
RZ_API int RZ_CALL rz_block_add_rows_from(rz_block* block, const rz_block* source);

#ifdef __cplusplus
}
#endif

#endif
