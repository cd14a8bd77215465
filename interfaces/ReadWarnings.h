// The kinds of warning a read gives when warnings are enabled (XMLParser::EnableWarnings):
// what the lenient reader takes without failing that a careful writer would not write,
// or that XML tools read another way. Each kind has a code, a name, a sentence that says
// what the reader does (docs/warnings.md is this table, all but the patterns), and the
// pattern of the sentences of its warnings, in which "{1}" to "{9}" stand for the texts
// the reader puts in (names, quotations, numbers, phrases).
//
// Codes are positive and apart from the result codes: the handler's kinds count from 1,
// the XML parser's from 101. A warning itself is an ErrorReport on the list
// ERROR_LIST_WARNINGS with its own sentence, which names the element, field, block and
// row involved, and its line and column.
#ifndef RIZEROZ_READWARNINGS_H
#define RIZEROZ_READWARNINGS_H

// X(code, name, sentence, pattern): one line per kind, in the order of docs/warnings.md.
#define RIZEROZ_READ_WARNINGS(X)                                                                                       \
    X(1, SVF_WARN_SKIPPED_ELEMENT,                                                                                     \
      "an element whose name is none of SVF_Plus_Data, Comment, DataField and FieldBlock is passed over with "         \
      "everything in it",                                                                                              \
      "the reader skips the {1}, which is not one of the data file's elements{2}")                                     \
    X(2, SVF_WARN_EMPTY_ELEMENT_ENDS,                                                                                  \
      "an unknown element written as an empty-element tag ends the reader's current element: what follows is read "    \
      "one level up, out of step with the document",                                                                   \
      "the reader takes the empty element <{1}/> as the end of <{2}>{3}")                                              \
    X(3, SVF_WARN_END_TAG_OUT_OF_STEP,                                                                                 \
      "out of step, an end tag closes another element for the reader than in the document; when that is the root "     \
      "element, nothing after it is read",                                                                             \
      "the reader takes the end tag </{1}> as the end of <{2}>{3}")                                                    \
    X(4, SVF_WARN_IGNORED_EMPTY_ELEMENT,                                                                               \
      "an empty-element tag the reader cannot take (a FieldBlock outside a data field, say) is dropped without an "    \
      "error",                                                                                                         \
      "the reader drops the empty element <{1}/>: {2}")                                                                \
    X(5, SVF_WARN_TEXT_NOT_READ,                                                                                       \
      "text directly in the root element or in a data field belongs to nothing and is not read",                       \
      "the text {1} stands between the elements of <{2}> and is not read")                                             \
    X(6, SVF_WARN_NO_VERSION, "the root element has no \"version\": the model gets no version",                        \
      "the root element has no \"version\"; the model gets no version")                                                \
    X(7, SVF_WARN_COMMENT_REPLACED, "a second Comment element replaces the comment read before it",                    \
      "this Comment element replaces the comment read before it")                                                      \
    X(8, SVF_WARN_NO_NAME, "a data field has no \"name\": the field gets no name",                                     \
      "data field {1} has no \"name\"; the field gets no name")                                                        \
    X(9, SVF_WARN_CHECKSUM,                                                                                            \
      "a \"checksum\" that is not \"0x\" and four hexadecimal digits: its characters 3 to 6 are taken as the digits, " \
      "any other character as 0",                                                                                      \
      "the \"checksum\" {1} of {2} is not \"0x\" and four hexadecimal digits; the reader takes it as {3}")             \
    X(10, SVF_WARN_NO_ROW_WIDTH, "a field block has no \"row_width\": its rows are taken as 0 bits wide",              \
      "the field block of {1} has no \"row_width\"; the reader takes its rows as 0 bits wide")                         \
    X(11, SVF_WARN_ROW_WIDTH_TEXT,                                                                                     \
      "a \"row_width\" that is not a plain whole number is read as far as it is one (\"8x\" as 8, \"x\" as 0)",        \
      "the \"row_width\" {1} of a field block of {2} is not a whole number; the reader takes {3}")                     \
    X(12, SVF_WARN_ROW_WIDTH_RANGE,                                                                                    \
      "a \"row_width\" beyond the range of an int is clamped to 2147483647 or -2147483648",                            \
      "the \"row_width\" {1} of a field block of {2} lies beyond the range of an int; the reader takes {3}")           \
    X(13, SVF_WARN_BLOCKS_MERGED,                                                                                      \
      "a field block of the same row width as the block before it in its data field adds its rows to that block",      \
      "the field block has the row width of block {1} of {2} ({3} bits) and follows it, so the reader adds its rows "  \
      "to that block")                                                                                                 \
    X(14, SVF_WARN_NO_ROWS, "a field block without text holds no rows and adds no block to its data field",            \
      "the field block holds no rows; the reader adds no block to {1}")                                                \
    X(15, SVF_WARN_STRAY_CHARACTERS,                                                                                   \
      "characters of a row before its \"0x\" or \"(\" are passed over (\"FFFF\" without \"0x\" reads as an empty "     \
      "row)",                                                                                                          \
      "the characters {1} in {2} begin no row (a row starts with \"0x\" or \"(\") and are not read")                   \
    X(16, SVF_WARN_ODD_DIGITS, "a hexadecimal row with an odd number of digits: the last digit is dropped",            \
      "{1} has an odd number of hexadecimal digits; the last one is not read")                                         \
    X(17, SVF_WARN_ROW_LENGTH, "a row holds another number of bytes than its block's \"row_width\" asks for",          \
      "{1} holds {2}, but row_width {3} asks for {4}")                                                                 \
    X(18, SVF_WARN_EXPRESSION_FAILS, "a row expression that does not evaluate reads as an empty row",                  \
      "the expression {1} of {2} does not evaluate, so the row reads as empty")                                        \
    X(19, SVF_WARN_EXPRESSION_CUT,                                                                                     \
      "a row expression stands for more bytes than the row width holds: the row keeps the first ones",                 \
      "the expression of {1} stands for {2}; the reader keeps the {3} that row_width {4} holds")                       \
    X(20, SVF_WARN_TRAILING_COMMA, "a ',' after the last row, followed by white space, adds one more, empty, row",     \
      "the ',' after the last row of block {1} of {2} adds an empty row {3}")                                          \
    X(21, SVF_WARN_MARKUP_IN_ROWS,                                                                                     \
      "a CDATA section or a comment stands in the rows: its text is read as rows (a CDATA section's) or dropped (a "   \
      "comment's), and a written file does not keep it",                                                               \
      "a {1} stands in the rows of a field block; {2}, and a written file does not keep {3}")                          \
    X(22, SVF_WARN_REFERENCE,                                                                                          \
      "a reference (&amp;, &#x30;, &name;) in a version, a name or the comment is kept as written, where XML tools "   \
      "read the character it stands for",                                                                              \
      "{1} holds the reference {2}, which the reader keeps as written; XML tools read the character it stands for")    \
    X(23, SVF_WARN_NOT_UTF8,                                                                                           \
      "a version, a name or the comment holds bytes that are not UTF-8: they are kept as they are",                    \
      "{1} holds bytes that are not UTF-8 (the first is {2}); the reader keeps them as they are")                      \
    X(101, XML_WARN_TEXT_AFTER_CHILD,                                                                                  \
      "text after an element's first child element is not part of the element's text and is not read",                 \
      "the text {1} stands after a child element of <{2}> and is not read: an element's text is what stands before "   \
      "its first child")                                                                                               \
    X(102, XML_WARN_AFTER_ROOT,                                                                                        \
      "the document goes on after the end of its root element: nothing but comments, processing instructions and "     \
      "white space belongs there, and nothing after it is read",                                                       \
      "the document goes on after the end of its root element with {1}; nothing after the root element is read")       \
    X(103, XML_WARN_ENCODING,                                                                                          \
      "the XML declaration names an encoding other than UTF-8 or US-ASCII: the bytes are read as they are, not "       \
      "converted",                                                                                                     \
      "the XML declaration names the encoding \"{1}\"; the reader takes the bytes as they are, as UTF-8")

#define RIZEROZ_WARNING_ENUM(code, name, sentence, pattern) name = code,
enum
{
    RIZEROZ_READ_WARNINGS(RIZEROZ_WARNING_ENUM)
};
#undef RIZEROZ_WARNING_ENUM

// The most warnings one read keeps in full; the rest are only counted.
enum
{
    WARNINGS_KEPT = 1000
};

#endif
