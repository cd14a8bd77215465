// The library's result codes: each code's value, its name and the sentence a report
// gives for it (ErrorHandler::DescribeCode, GetCodeName), in one table. The enums of the
// handler, the XML parser and the expression library are made from it, and
// docs/error-codes.md lists it (a test holds the two together).
//
// Failures are negative and the ranges never overlap: the handler's from -1, the XML
// parser's from -101, the expression library's from -201 and the C interface's from -301.
#ifndef RIZEROZ_RESULTCODES_H
#define RIZEROZ_RESULTCODES_H

// X(code, name, sentence): one line per code, in the order of docs/error-codes.md.
#define RIZEROZ_HANDLER_RESULTS(X)                                                                                     \
    X(-1, SVF_ERR_MODEL, "a second root element, or a row that breaks the hexadecimal row syntax")                     \
    X(-2, SVF_ERR_NO_FIELD, "the data model gave no new data field, or a field block has no data field to belong to")  \
    X(-3, SVF_ERR_NESTING, "a field block that is not directly inside a data field")                                   \
    X(-4, SVF_ERR_NO_ROW, "the data field gave no new row")                                                            \
    X(-5, SVF_ERR_OUTPUT, "the output file cannot be opened (empty path, failed open, or no output open)")             \
    X(-6, SVF_ERR_NO_DATA, "nothing to write: no data model is attached")                                              \
    X(-7, SVF_ERR_NO_MODEL, "an element that needs a data model comes before the root element")                        \
    X(-8, SVF_ERR_WRITE, "not every byte of the document reached the file")                                            \
    X(-9, SVF_ERR_SAVE, "the file cannot be saved")                                                                    \
    X(-10, SVF_ERR_ROW_TOO_LARGE, "a row holds more bytes than the row limit")                                         \
    X(-11, SVF_ERR_EXPRESSION_BUDGET, "the rows that expressions stand for exceed the expression budget")              \
    X(-12, SVF_ERR_NO_MEMORY, "memory ran out in the data file handler")                                               \
    X(-13, SVF_ERR_UNWRITABLE, "the model holds a text or a row that would not read back as written")                  \
    X(-14, SVF_ERR_JSON_SYNTAX, "the JSON text is not well-formed JSON in UTF-8, or nests too deeply")                 \
    X(-15, SVF_ERR_JSON_SHAPE, "the JSON text does not have the shape of a data model")                                \
    X(-16, SVF_ERR_BUSY, "the model is being written: it cannot be changed, freed or written again until then")        \
    X(-17, SVF_ERR_STOPPED, "the read was stopped by its caller, which the read hook told")                            \
    X(-29, SVF_ERR_SKIP, "the parser reported an element to skip but holds no start or empty tag")                     \
    X(-38, SVF_ERR_UNKNOWN_TAG, "the element name is none of SVF_Plus_Data, Comment, DataField and FieldBlock")

#define RIZEROZ_XML_PARSER_RESULTS(X)                                                                                  \
    X(-101, XML_ERR_OPEN, "the document cannot be opened")                                                             \
    X(-102, XML_ERR_READ, "reading the document failed")                                                               \
    X(-103, XML_ERR_NOT_OPEN, "no document is open for scanning")                                                      \
    X(-104, XML_ERR_UNEXPECTED_END, "the document ends inside markup or before all elements are closed")               \
    X(-105, XML_ERR_BAD_NAME, "a tag or attribute name is malformed")                                                  \
    X(-106, XML_ERR_BAD_ATTRIBUTE, "an attribute lacks its '=' or its quoted value")                                   \
    X(-107, XML_ERR_DUPLICATE_ATTRIBUTE, "an attribute appears twice in one tag")                                      \
    X(-108, XML_ERR_MISMATCHED_END_TAG, "an end tag does not match the open element")                                  \
    X(-109, XML_ERR_NO_ROOT, "the document has no root element, or text stands where the root element is due")         \
    X(-110, XML_ERR_BAD_PROLOG, "the XML declaration or the document type declaration is malformed")                   \
    X(-111, XML_ERR_BAD_MARKUP, "a comment, CDATA section or '<' is malformed")                                        \
    X(-112, XML_ERR_BAD_ARGUMENT, "a required argument is null or empty")                                              \
    X(-113, XML_ERR_TOO_DEEP, "elements are nested too deeply")                                                        \
    X(-114, XML_ERR_UNKNOWN_LIST, "the error list is not defined")                                                     \
    X(-115, XML_ERR_BAD_SKIP, "an element was to be skipped while its start tag was not the current tag")              \
    X(-116, XML_ERR_TOO_LARGE, "an element text or a tag is larger than the parser's limit")                           \
    X(-117, XML_ERR_NO_MEMORY, "memory ran out while parsing")                                                         \
    X(-118, XML_ERR_ENCODING, "the document is not in UTF-8, the encoding the reader takes")                           \
    X(-119, XML_ERR_NUL, "the document holds a NUL character, which XML allows nowhere")

#define RIZEROZ_EXPRESSION_RESULTS(X)                                                                                  \
    X(-201, SVP_ERR_SYNTAX, "the expression does not follow the expression grammar")                                   \
    X(-202, SVP_ERR_ARGUMENT, "an expression or output area is missing")                                               \
    X(-203, SVP_ERR_NO_MEMORY, "memory ran out while evaluating an expression")

// The C interface's own codes. rizeroz.h, a C header that stands alone, declares them
// again; the C interface checks at compile time that both say the same.
#define RIZEROZ_C_INTERFACE_RESULTS(X)                                                                                 \
    X(-301, RZ_ERR_ARGUMENT,                                                                                           \
      "a null handle or pointer, an index out of range, a length the model cannot hold, or undefined flags")           \
    X(-302, RZ_ERR_MEMORY, "memory ran out")

#define RIZEROZ_RESULTS(X)                                                                                             \
    RIZEROZ_HANDLER_RESULTS(X)                                                                                         \
    RIZEROZ_XML_PARSER_RESULTS(X) RIZEROZ_EXPRESSION_RESULTS(X) RIZEROZ_C_INTERFACE_RESULTS(X)

// An enumerator per code: enum { RIZEROZ_XML_PARSER_RESULTS(RIZEROZ_RESULT_ENUM) };
#define RIZEROZ_RESULT_ENUM(code, name, sentence) name = code,

#endif
