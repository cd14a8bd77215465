// rizeroz.hpp: a C++ interface over the C interface (rizeroz.h), in this header alone.
//
// Compiles as C++11 and later with any compiler, and calls only the C functions of the
// library, so a program built by any compiler (Microsoft's among them, linking rizeroz.lib)
// gets a C++ interface from the same DLL; the exported C++ class RODAzivUzirAdovIzozari is
// for programs built by the compiler that built the library.
//
//   rizeroz::model model = rizeroz::model::read("sample.xml");   // or read_memory, read_stream
//   for (rizeroz::field field : model.fields())
//       for (rizeroz::block block : field.blocks())
//           for (rizeroz::row row : block.rows())
//               printf("%s: %u bytes\n", field.name().c_str(), (unsigned)row.size());
//   model.write("copy.xml", RZ_WRITE_SAFE);
//   model.write("copy.json", RZ_WRITE_SAFE | RZ_WRITE_JSON);   // the JSON form; read back with RZ_READ_JSON
//
// Conventions:
// - Paths are UTF-8 on every system (on Windows they reach the file system as UTF-16, so
//   names of any script open); '\\' also separates folders.
// - A failure throws rizeroz::error (the result code, the message naming the file and
//   the place, the path, the line and the column, the system's errno and the byte
//   offset); memory that runs out throws std::bad_alloc. Nothing else throws, but for
//   what a callable of the caller's (a progress function, a reader, a sink) throws: it is
//   caught where the library calls it, fails the operation and is thrown again as it was.
// - A model owns its fields, blocks and rows; field, block and row are handles into it
//   that live as long as it does (a row until it is changed). Indexes count from 0. A
//   const model gives const_field and const_block, which read and do not change (a field
//   or block converts to its const one).
// - Texts are UTF-8 by convention; a field or model without a text gives "".
#ifndef RIZEROZ_HPP
#define RIZEROZ_HPP

#include <cerrno>
#include <cstddef>
#include <exception>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

// C++17 and later add paths of the file system, views of bytes, any contiguous run of
// bytes for a row, and reading from and writing to streams.
#if __cplusplus >= 201703L || (defined(_MSVC_LANG) && _MSVC_LANG >= 201703L)
#define RIZEROZ_HPP_CPP17 1
#include <filesystem>
#include <istream>
#include <ostream>
#include <string_view>
#endif

#include "rizeroz.h"

namespace rizeroz
{
#if defined(__clang__)
// A class of a header alone has no translation unit of its own for its table of virtual
// functions: every one that uses it has a copy, which the linker folds.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wweak-vtables"
#endif
// A failure the library reported, with everything its error object held; what() gives it
// as editors read it, "FILE:LINE:COLUMN: error: SENTENCE (error CODE).".
class error : public std::runtime_error
{
public:
    error(int code, const std::string& message, const std::string& path, long line, long column, int system_errno = 0,
          long long offset = -1)
        : std::runtime_error(message), m_code(code), m_path(path), m_line(line), m_column(column),
          m_errno(system_errno), m_offset(offset)
    {
    }
    int code() const { return m_code; }
    const std::string& path() const { return m_path; }   // the file as the caller named it, or ""
    long line() const { return m_line; }                 // from 1; 0 when not known
    long column() const { return m_column; }
    // The system's error number (rz_error_errno: ENOENT, EIO, ...); 0 when none.
    int system_errno() const { return m_errno; }
    // The byte offset in the document where it arose (rz_error_offset); -1 when not known.
    long long offset() const { return m_offset; }

private:
    int m_code;
    std::string m_path;
    long m_line;
    long m_column;
    int m_errno;
    long long m_offset;
};
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

namespace detail
{
inline std::string text(const char* value)
{
    return value != nullptr ? std::string(value) : std::string();
}

// A failure as editors read it: "FILE:LINE:COLUMN: error: SENTENCE (error CODE)." (the
// place as far as it is known; "rizeroz" for no file).
inline std::string editor_form(int code, const std::string& path, long line, long column, const std::string& sentence)
{
    std::string text = path.empty() ? std::string("rizeroz") : path;
    if (!path.empty() && line > 0)
        text += ":" + std::to_string(line) + ":" + std::to_string(column > 0 ? column : 1);
    return text + ": error: " + sentence + " (error " + std::to_string(code) + ").";
}

inline error to_exception(int code, const rz_error* failure)
{
    if (failure == nullptr)
        return error(code, editor_form(code, "", 0, 0, rz_describe_code(code)), "", 0, 0);
    return error(rz_error_code(failure),
                 editor_form(rz_error_code(failure), rz_error_path(failure), rz_error_line(failure),
                             rz_error_column(failure), rz_error_sentence(failure)),
                 rz_error_path(failure), rz_error_line(failure), rz_error_column(failure), rz_error_errno(failure),
                 rz_error_offset(failure));
}

// Throws for a negative result, freeing the error object; returns the result otherwise.
// The result is taken first, then the error object the same call stored.
inline int check(int result, rz_error* failure = nullptr)
{
    if (result >= 0)
        return result;
    error thrown = to_exception(result, failure);
    rz_error_free(failure);
    if (result == RZ_ERR_MEMORY)
        throw std::bad_alloc();
    throw thrown;
}

template <typename Handle>
Handle* made(Handle* handle)
{
    if (handle == nullptr)
        throw std::bad_alloc();
    return handle;
}

#if defined(RIZEROZ_HPP_CPP17)
// A path's name as UTF-8, which the library takes on every system.
inline std::string utf8(const std::filesystem::path& path)
{
    auto text = path.u8string();   // std::u8string from C++20 on
    return std::string(text.begin(), text.end());
}

// Only for std::filesystem::path itself, so that a text still chooses the string overload.
template <typename Path>
using if_path = typename std::enable_if<std::is_same<Path, std::filesystem::path>::value>::type;

// Any contiguous run of bytes: a std::array, std::string, std::string_view, std::vector
// of char or unsigned char and the like.
template <typename Bytes>
using if_bytes = typename std::enable_if<sizeof(*std::data(std::declval<const Bytes&>())) == 1 &&
                                         !std::is_same<Bytes, std::vector<unsigned char>>::value>::type;
#endif

// A handle an adding call gave; none means that memory ran out or that the model is being
// written (RZ_ERR_BUSY): a change that changes nothing (the version, or the checksum, set
// to itself) says which.
inline rz_field* added(rz_field* field, rz_model* model)
{
    if (field == nullptr)
        check(rz_model_set_version(model, rz_model_version(model)));
    return made(field);
}
inline rz_block* added(rz_block* block, rz_field* field)
{
    if (block == nullptr)
        check(rz_field_set_checksum(field, rz_field_checksum(field)));
    return made(block);
}

// A callable of the caller's that the library calls, and the exception it threw, which
// must not cross the C library: caught there, it fails the operation (for progress, it
// stops the read: RZ_READ_STOPPABLE) and is thrown again after.
template <typename Callable>
struct calling
{
    Callable* callable;
    std::exception_ptr thrown;

    explicit calling(Callable& given) : callable(&given), thrown() {}
    // Throws again what the callable threw, after freeing what the failed call gave.
    void rethrow(rz_model* handle, rz_error* failure) const
    {
        if (!thrown)
            return;
        rz_model_free(handle);
        rz_error_free(failure);
        std::rethrow_exception(thrown);
    }
    // Tells the callable `arguments`, as long as it has not thrown; what it throws is kept.
    template <typename... Arguments>
    void tell(Arguments... arguments)
    {
        guarded([&]() { (*callable)(arguments...); });
    }
    // The callable's answer to `arguments`; `failed` once it has thrown.
    template <typename Result, typename... Arguments>
    Result call(Result failed, Arguments... arguments)
    {
        Result result = failed;
        guarded([&]() { result = (*callable)(arguments...); });
        return thrown ? failed : result;
    }

private:
    template <typename Body>
    void guarded(Body body)
    {
        if (thrown)
            return;
        try
        {
            body();
        }
        catch (...)
        {
            thrown = std::current_exception();
        }
    }
};

// The context of a read with progress (RZ_READ_STOPPABLE): the control the library looks
// at first, then the callable.
template <typename Progress>
struct progress_context
{
    rz_read_control control;
    calling<Progress>* state;
};

// Passes rz_read_with_callback's calls on to a callable of the caller's; the read stops
// once the callable has thrown.
template <typename Progress>
void RZ_CALL tell_progress(void* context, int field, int block, int row, std::size_t row_bytes,
                           unsigned long long bytes_read, unsigned long long bytes_total)
{
    progress_context<Progress>& told = *static_cast<progress_context<Progress>*>(context);
    told.state->tell(field, block, row, row_bytes, bytes_read, bytes_total);
    told.control.stop = told.state->thrown ? 1 : 0;
}

// Passes rz_write_stream's pieces on to a callable of the caller's; an exception fails the
// write as EIO.
template <typename Sink>
long long RZ_CALL take_piece(void* context, const void* bytes, std::size_t count)
{
    return static_cast<calling<Sink>*>(context)->call(static_cast<long long>(-EIO), bytes, count);
}

// What rz_write_memory gave, freed with rz_free.
struct memory_text
{
    void* data;
    std::size_t size;
    memory_text() : data(nullptr), size(0) {}
    ~memory_text() { rz_free(data); }
};

// Passes rz_read_stream's requests on to a callable of the caller's; an exception fails
// the read as EIO.
template <typename Reader>
long long RZ_CALL pull(void* context, void* buffer, std::size_t capacity)
{
    return static_cast<calling<Reader>*>(context)->call(static_cast<long long>(-EIO), buffer, capacity);
}

// The items of a container by index, for range-for: Container (const or not, choosing its
// operator[]) has size() and operator[].
template <typename Container, typename Item>
class index_iterator
{
public:
    // The item an iterator's -> reaches: a handle made for the purpose, as * gives one.
    struct arrow
    {
        Item item;
        const Item* operator->() const { return &item; }
    };

    typedef std::input_iterator_tag iterator_category;
    typedef Item value_type;
    typedef std::ptrdiff_t difference_type;
    typedef arrow pointer;
    typedef Item reference;

    index_iterator(Container* container, int index) : m_container(container), m_index(index) {}
    int index() const { return m_index; }
    Item operator*() const { return (*m_container)[m_index]; }
    arrow operator->() const { return arrow{**this}; }
    index_iterator& operator++()
    {
        ++m_index;
        return *this;
    }
    index_iterator operator++(int)
    {
        index_iterator before = *this;
        ++m_index;
        return before;
    }
    bool operator==(const index_iterator& other) const { return m_index == other.m_index; }
    bool operator!=(const index_iterator& other) const { return m_index != other.m_index; }

private:
    Container* m_container;
    int m_index;
};

// Index `index` of a container of `size` items of `kind`, or std::out_of_range.
inline int in_range(int index, int size, const char* kind)
{
    if (index < 0 || index >= size)
        throw std::out_of_range(std::string(kind) + " " + std::to_string(index) + " of " + std::to_string(size));
    return index;
}
}

// One row's bytes, as the model holds them.
class row
{
public:
    row(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}
    const unsigned char* data() const { return m_data; }   // null for an empty row
    std::size_t size() const { return m_size; }
    const unsigned char* begin() const { return m_data; }
    const unsigned char* end() const { return m_data + m_size; }
    std::vector<unsigned char> bytes() const { return std::vector<unsigned char>(begin(), end()); }
    unsigned char operator[](std::size_t index) const { return m_data[index]; }   // unchecked, as a vector's
    unsigned char at(std::size_t index) const
    {
        if (index >= m_size)
            throw std::out_of_range("byte " + std::to_string(index) + " of a row of " + std::to_string(m_size));
        return m_data[index];
    }

private:
    const unsigned char* m_data;
    std::size_t m_size;
};

// A field block of a model seen as const: its rows of one width in bits, read only.
class const_block
{
public:
    typedef detail::index_iterator<const const_block, row> iterator;

    explicit const_block(const rz_block* handle) : m_handle(handle) {}
    const rz_block* handle() const { return m_handle; }
    int row_width() const { return rz_block_row_width(m_handle); }

    int size() const { return rz_block_row_count(m_handle); }
    // Row `index`; std::out_of_range past the rows.
    row operator[](int index) const
    {
        std::size_t length = 0;
        const unsigned char* bytes = rz_block_row(m_handle, detail::in_range(index, size(), "row"), &length);
        return row(bytes, length);
    }
    iterator begin() const { return iterator(this, 0); }
    iterator end() const { return iterator(this, size()); }
    const const_block& rows() const { return *this; }

private:
    const rz_block* m_handle;
};

// A field block: rows of one width in bits, which it changes too.
class block : public const_block
{
public:
    explicit block(rz_block* handle) : const_block(handle), m_changed(handle) {}
    rz_block* handle() const { return m_changed; }
    void set_row_width(int bits) { detail::check(rz_block_set_row_width(m_changed, bits)); }

    void set_row(int index, const std::vector<unsigned char>& bytes)
    {
        detail::check(rz_block_set_row(m_changed, index, bytes.empty() ? nullptr : &bytes[0], bytes.size()));
    }
    // The new row's index.
    int add_row(const std::vector<unsigned char>& bytes)
    {
        return detail::check(rz_block_add_row(m_changed, bytes.empty() ? nullptr : &bytes[0], bytes.size()));
    }
#if defined(RIZEROZ_HPP_CPP17)
    // The same from any contiguous run of bytes (detail::if_bytes).
    template <typename Bytes, typename = detail::if_bytes<Bytes>>
    void set_row(int index, const Bytes& bytes)
    {
        detail::check(rz_block_set_row(m_changed, index, std::data(bytes), std::size(bytes)));
    }
    template <typename Bytes, typename = detail::if_bytes<Bytes>>
    int add_row(const Bytes& bytes)
    {
        return detail::check(rz_block_add_row(m_changed, std::data(bytes), std::size(bytes)));
    }
#endif
    // Appends a copy of every row of `source` (of any model, this block too); the new row count.
    int add_rows_from(const const_block& source)
    {
        return detail::check(rz_block_add_rows_from(m_changed, source.handle()));
    }

private:
    rz_block* m_changed;
};

// A data field of a model seen as const: a name, a checksum and field blocks, read only.
class const_field
{
public:
    typedef detail::index_iterator<const const_field, const_block> iterator;

    explicit const_field(const rz_field* handle) : m_handle(handle) {}
    const rz_field* handle() const { return m_handle; }
    std::string name() const { return detail::text(rz_field_name(m_handle)); }
    bool has_name() const { return rz_field_name(m_handle) != nullptr; }
    unsigned checksum() const { return rz_field_checksum(m_handle); }

    int size() const { return rz_field_block_count(m_handle); }
    // Block `index`; std::out_of_range past the blocks.
    const_block operator[](int index) const
    {
        return const_block(rz_field_block(m_handle, detail::in_range(index, size(), "block")));
    }
    iterator begin() const { return iterator(this, 0); }
    iterator end() const { return iterator(this, size()); }
    const const_field& blocks() const { return *this; }

private:
    const rz_field* m_handle;
};

// A data field: a name, a checksum and field blocks, which it changes too.
class field : public const_field
{
public:
    typedef detail::index_iterator<const field, block> iterator;

    explicit field(rz_field* handle) : const_field(handle), m_changed(handle) {}
    rz_field* handle() const { return m_changed; }
    void set_name(const std::string& name) { detail::check(rz_field_set_name(m_changed, name.c_str())); }
    void set_checksum(unsigned checksum) { detail::check(rz_field_set_checksum(m_changed, checksum)); }

    // Block `index`; std::out_of_range past the blocks.
    block operator[](int index) const
    {
        return block(rz_field_block(m_changed, detail::in_range(index, size(), "block")));
    }
    iterator begin() const { return iterator(this, 0); }
    iterator end() const { return iterator(this, size()); }
    const field& blocks() const { return *this; }
    block add_block(int row_width) { return block(detail::added(rz_field_add_block(m_changed, row_width), m_changed)); }

private:
    rz_field* m_changed;
};

// What the reader took leniently (model::read with RZ_READ_WARNINGS).
struct warning
{
    int code;              // the warning's kind (docs/warnings.md)
    std::string message;   // naming the file and the place
    long line;
    long column;
    long long offset;   // the byte offset in the document; -1 when not known
};

// A data model: a version, a comment and data fields. Owns its handle; moves, never copies.
// A const model gives its fields and blocks as const_field and const_block, read only.
class model
{
public:
    typedef detail::index_iterator<model, field> iterator;
    typedef detail::index_iterator<const model, const_field> const_iterator;

    model() : m_handle(detail::made(rz_model_new())) {}
    explicit model(rz_model* handle) : m_handle(handle) {}   // takes ownership
    ~model() { rz_model_free(m_handle); }
    model(model&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    model& operator=(model&& other) noexcept
    {
        if (this != &other)
        {
            rz_model_free(m_handle);
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }
    model(const model&) = delete;
    model& operator=(const model&) = delete;

    // Reads a data file; flags RZ_READ_WARNINGS, RZ_READ_JSON (the file is the JSON form of
    // a model), both or 0. The same flags for every read below.
    static model read(const std::string& path, unsigned flags = 0)
    {
        rz_model* handle = nullptr;
        rz_error* failure = nullptr;
        int result = rz_read(path.c_str(), flags, &handle, &failure);
        detail::check(result, failure);
        return model(handle);
    }
    // Reads a data file, calling progress(field, block, row, row_bytes, bytes_read,
    // bytes_total) after each row and each field block, as rz_read_callback tells (after
    // each field block only, with RZ_READ_PROGRESS_ONLY in `flags`). An exception the
    // callable throws stops the read there and is thrown again here; no model is returned.
    template <typename Progress>
    static model read(const std::string& path, unsigned flags, Progress&& progress)
    {
        typedef typename std::remove_reference<Progress>::type Callable;
        detail::calling<Callable> state(progress);
        detail::progress_context<Callable> context = {{0}, &state};
        rz_model* handle = nullptr;
        rz_error* failure = nullptr;
        int result = rz_read_with_callback(path.c_str(), flags | RZ_READ_STOPPABLE, &detail::tell_progress<Callable>,
                                           &context, &handle, &failure);
        state.rethrow(handle, failure);
        detail::check(result, failure);
        return model(handle);
    }
    // Reads a document from memory: the `size` bytes at `data`, read where they lie,
    // without a copy (they must stay until the call returns). `name` stands for the
    // document in messages ("" for "<memory>").
    static model read_memory(const void* data, std::size_t size, const std::string& name = std::string(),
                             unsigned flags = 0)
    {
        rz_model* handle = nullptr;
        rz_error* failure = nullptr;
        int result = rz_read_memory(data, size, name.c_str(), flags, nullptr, nullptr, &handle, &failure);
        detail::check(result, failure);
        return model(handle);
    }
    // Reads the document that `reader(buffer, capacity)` gives piece by piece: it stores
    // at most `capacity` bytes at `buffer` (a void*) and returns how many, 0 at the end,
    // or a failure as its errno negated (the read then throws rizeroz::error with code
    // RZ_ERR_READ). An exception the reader throws ends the read and is thrown again
    // here. `name` stands for the document in messages ("" for "<stream>").
    template <typename Reader>
    static model read_stream(Reader&& reader, const std::string& name = std::string(), unsigned flags = 0)
    {
        typedef typename std::remove_reference<Reader>::type Callable;
        detail::calling<Callable> state(reader);
        rz_model* handle = nullptr;
        rz_error* failure = nullptr;
        int result =
            rz_read_stream(&detail::pull<Callable>, &state, name.c_str(), flags, nullptr, nullptr, &handle, &failure);
        state.rethrow(handle, failure);
        detail::check(result, failure);
        return model(handle);
    }
    // Writes the model; flags RZ_WRITE_EXPRESSIONS, RZ_WRITE_SAFE, RZ_WRITE_JSON (its JSON
    // form instead of a data file; expressions mean nothing there) in any combination, or
    // 0. Saved safely by default (docs/saving.md), as Python's write and the tool save:
    // pass 0 (or RZ_WRITE_EXPRESSIONS or RZ_WRITE_JSON alone) to write in place.
    void write(const std::string& path, unsigned flags = RZ_WRITE_SAFE) const
    {
        rz_error* failure = nullptr;
        int result = rz_write(m_handle, path.c_str(), flags, &failure);
        detail::check(result, failure);
    }

    // The text write() gives a file, as a string (line feeds on every system); flags
    // RZ_WRITE_EXPRESSIONS, RZ_WRITE_JSON, both or 0.
    std::string write_memory(unsigned flags = 0) const
    {
        detail::memory_text text;
        rz_error* failure = nullptr;
        detail::check(rz_write_memory(m_handle, flags, &text.data, &text.size, &failure), failure);
        return text.size > 0 ? std::string(static_cast<const char*>(text.data), text.size) : std::string();
    }
    // Hands the text write() gives a file to sink(bytes, count) in pieces of up to 256 KB;
    // the sink returns how many bytes it took (count), or a negative system error number.
    // An exception the sink throws ends the write (nothing more is handed over) and is
    // thrown again here. `name` is what messages call the output (JSON in pieces of about
    // 1 MB). Flags RZ_WRITE_EXPRESSIONS, RZ_WRITE_JSON, both or 0. The sink must not change
    // this model: the library refuses a change while the model is being written
    // (RZ_ERR_BUSY, thrown by the changing call).
    template <typename Sink>
    void write_stream(Sink&& sink, unsigned flags = 0, const std::string& name = "<stream>") const
    {
        typedef typename std::remove_reference<Sink>::type Callable;
        detail::calling<Callable> state(sink);
        rz_error* failure = nullptr;
        int result = rz_write_stream(m_handle, flags, &detail::take_piece<Callable>, &state, name.c_str(), &failure);
        state.rethrow(nullptr, failure);
        detail::check(result, failure);
    }

#if defined(RIZEROZ_HPP_CPP17)
    // A path of the file system, its name given to the library as UTF-8.
    template <typename Path, typename = detail::if_path<Path>>
    static model read(const Path& path, unsigned flags = 0)
    {
        return read(detail::utf8(path), flags);
    }
    template <typename Path, typename = detail::if_path<Path>>
    void write(const Path& path, unsigned flags = RZ_WRITE_SAFE) const
    {
        write(detail::utf8(path), flags);
    }
    // The bytes `bytes` views, read where they lie.
    static model read_memory(std::string_view bytes, const std::string& name = std::string(), unsigned flags = 0)
    {
        return read_memory(bytes.data(), bytes.size(), name, flags);
    }
    // What `in` gives up to its end, read as it comes; a stream gone bad fails the read
    // with RZ_ERR_READ (EIO). `name` stands for the document in messages ("<stream>").
    static model read(std::istream& in, const std::string& name = std::string(), unsigned flags = 0)
    {
        return read_stream(
            [&in](void* buffer, std::size_t capacity) -> long long {
                in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(capacity));
                return in.bad() ? -EIO : static_cast<long long>(in.gcount());
            },
            name, flags);
    }
    // Writes the text write() gives a file to `out`; a stream that fails fails the write
    // with RZ_ERR_WRITE (EIO), and what it took stays with it.
    void write(std::ostream& out, unsigned flags = 0, const std::string& name = "<stream>") const
    {
        write_stream(
            [&out](const void* bytes, std::size_t count) -> long long {
                out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
                return out ? static_cast<long long>(count) : -EIO;
            },
            flags, name);
    }
#endif

    rz_model* handle()
    {
        return m_handle;
    }
    const rz_model* handle() const
    {
        return m_handle;
    }
    std::string version() const
    {
        return detail::text(rz_model_version(m_handle));
    }
    void set_version(const std::string& version)
    {
        detail::check(rz_model_set_version(m_handle, version.c_str()));
    }
    std::string comment() const
    {
        return detail::text(rz_model_comment(m_handle));
    }
    void set_comment(const std::string& comment)
    {
        detail::check(rz_model_set_comment(m_handle, comment.c_str()));
    }

    int size() const
    {
        return rz_model_field_count(m_handle);
    }
    // Field `index`; std::out_of_range past the fields.
    field operator[](int index)
    {
        return field(rz_model_field(m_handle, detail::in_range(index, size(), "field")));
    }
    const_field operator[](int index) const
    {
        return const_field(rz_model_field(m_handle, detail::in_range(index, size(), "field")));
    }
    // The first field named `name`, or end().
    iterator find(const std::string& name)
    {
        return iterator(this, index_of(name));
    }
    const_iterator find(const std::string& name) const
    {
        return const_iterator(this, index_of(name));
    }
    iterator begin()
    {
        return iterator(this, 0);
    }
    iterator end()
    {
        return iterator(this, size());
    }
    const_iterator begin() const
    {
        return const_iterator(this, 0);
    }
    const_iterator end() const
    {
        return const_iterator(this, size());
    }
    model& fields()
    {
        return *this;
    }
    const model& fields() const
    {
        return *this;
    }
    field add_field(const std::string& name)
    {
        return field(detail::added(rz_model_add_field(m_handle, name.c_str()), m_handle));
    }

    std::vector<warning> warnings() const
    {
        std::vector<warning> found;
        for (int i = 0; i < rz_model_warning_count(m_handle); ++i)
        {
            const rz_error* kept = rz_model_warning(m_handle, i);
            warning item = {rz_error_code(kept), rz_error_message(kept), rz_error_line(kept), rz_error_column(kept),
                            rz_error_offset(kept)};
            found.push_back(item);
        }
        return found;
    }

private:
    // The index of the first field named `name`, or size().
    int index_of(const std::string& name) const
    {
        int i = 0;
        for (const char* named = nullptr; i < size(); ++i)
            if ((named = rz_field_name(rz_model_field(m_handle, i))) != nullptr && name == named)
                break;
        return i;
    }

    rz_model* m_handle;
};

// The row a row expression gives for a row of `row_width` bits (docs/expressions.md).
inline std::vector<unsigned char> evaluate(const std::string& expression, int row_width)
{
    rz_error* failure = nullptr;
    int length = rz_evaluate(expression.c_str(), row_width, nullptr, 0, &failure);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(detail::check(length, failure)));
    if (length > 0)
    {
        int copied = rz_evaluate(expression.c_str(), row_width, &bytes[0], bytes.size(), &failure);
        detail::check(copied, failure);
    }
    return bytes;
}

// What a result code means, in a few words.
inline std::string describe(int code)
{
    return rz_describe_code(code);
}
}

#endif
