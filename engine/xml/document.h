#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A lossless, mutable XML tree over a document's own bytes.
//
// The Document owns the source buffer; nodes are light handles into it. Serialising an
// unchanged document gives back the source byte for byte, and an edit re-spells only what it
// changed. Handles stay valid for the lifetime of the Document (moving a Document keeps them
// valid); a handle to a removed node stays usable as a detached node. Reading through an empty
// handle gives empty results; editing through one throws std::logic_error. Names and values
// returned as string_view stay valid until the start tag they come from is edited again (a
// value set on the same element, or a first child added to an element written `<a/>`) or the
// Document goes. engine/xml/README.md explains how edits are kept.

namespace tessaly::xml {

class DocumentImpl;
class Element;

/// What a child node is. Everything between two tags is kept as nodes of these kinds, except
/// white space alone between tags inside an element (indentation): it is written back as read
/// but is no node until an edit next to it (a removal before it, an append after it) makes it
/// a text node where it stands. So `<a>  </a>` has no children.
enum class NodeKind : std::uint8_t {
    Element,
    Text,                  ///< character data, including entity and character references
    CData,                 ///< a `<![CDATA[...]]>` section
    Comment,               ///< a `<!--...-->` comment
    ProcessingInstruction, ///< a `<?target ...?>` instruction (not the XML declaration)
    Prolog,                ///< document level only: XML declaration, DOCTYPE, BOM
};

/// A handle to one node of a Document; cheap to copy, does not own the node.
class Node {
public:
    Node() = default;

    /// True when the handle refers to a node.
    explicit operator bool() const { return m_doc != nullptr; }
    /// The kind of the node.
    NodeKind kind() const;
    /// True for element nodes.
    bool isElement() const { return m_doc && kind() == NodeKind::Element; }
    /// This node as an element, or an empty handle when it is not one.
    Element toElement() const;

    /// The parent element, or an empty handle for a detached node or the root element.
    Element parent() const;
    /// The position, from 0, among all child nodes of the parent; 0 for a node without parent.
    std::size_t index() const;
    /// The next sibling node, or an empty handle.
    Node nextSibling() const;
    /// The previous sibling node, or an empty handle.
    Node previousSibling() const;

    /// The node's source text as it will be serialised (for an element: the whole subtree).
    std::string xmlString() const;

    friend bool operator==(const Node &, const Node &) = default;
    /// A hash for keeping handles in hashed containers.
    std::size_t hash() const { return std::hash<const void *>{}(m_doc) ^ m_id; }

protected:
    Node(DocumentImpl *doc, std::uint32_t id) : m_doc(doc), m_id(id) {}
    DocumentImpl *m_doc = nullptr;
    std::uint32_t m_id = 0;
    friend class DocumentImpl;
    friend class Document;
    friend class Attribute;
    friend class PreparedValue;
};

/// An attribute value escaped and stored once by a document, for setting on many of its
/// attributes (see Attribute::setValue): a relink gives thousands of clips the same few values.
class PreparedValue {
public:
    PreparedValue() = default;
    /// The value prepared for the document of `node`. Throws std::invalid_argument for invalid
    /// UTF-8 or a character XML cannot carry, as Attribute::setStringValue does, and
    /// std::logic_error for an empty handle.
    PreparedValue(const Node &node, std::string_view value);

private:
    const DocumentImpl *m_doc = nullptr;
    std::uint32_t m_inDoubleQuotes = 0; ///< the stored text escaped for a "-delimited value
    std::uint32_t m_inSingleQuotes = 0; ///< the stored text escaped for a '-delimited value
    friend class Attribute;
};

/// A handle to one attribute of an element, valid as long as its Document: no operation adds
/// or removes attributes, so it names the same attribute through every value set on the
/// element and every move of the element.
class Attribute {
public:
    Attribute() = default;
    explicit operator bool() const { return m_doc != nullptr; }

    /// The attribute's name as written.
    std::string_view name() const;
    /// The value, fully decoded: references and internal entities expanded, normalised.
    std::string stringValue() const;
    /// The value exactly as written between its quotes.
    std::string_view rawValue() const;
    /// Replaces the value in place: the attribute keeps its position and quote character,
    /// and only the value is re-spelled (with &, <, >, the quote, tab, LF and CR escaped).
    /// Throws std::invalid_argument for invalid UTF-8 or a character XML cannot carry.
    void setStringValue(std::string_view value);
    /// The same with a value prepared by this attribute's document; throws
    /// std::invalid_argument for a value prepared by another document.
    void setValue(const PreparedValue &value);

private:
    Attribute(DocumentImpl *doc, std::uint32_t element, std::uint32_t index)
        : m_doc(doc), m_element(element), m_index(index) {}
    /// Where the attribute stands in its start tag, read again only after the tag changed.
    struct Place {
        std::uint32_t nameBegin, nameLength, valueBegin, valueLength;
        char quote;
    };
    /// nameBegin of a place known by its value: found from the value when asked.
    static constexpr std::uint32_t kNameBeforeValue = ~std::uint32_t(0);
    const Place &place() const;
    void remember(std::string_view tag, std::string_view name, std::string_view value,
                  char quote) const;

    DocumentImpl *m_doc = nullptr;
    std::uint32_t m_element = 0;
    std::uint32_t m_index = 0;
    mutable std::uint64_t m_placeStamp = ~std::uint64_t(0);
    mutable Place m_place{};
    /// The value as written among the texts noted at load, while m_place is current; or none.
    mutable std::uint32_t m_notedText = ~std::uint32_t(0);
    friend class DocumentImpl;
    friend class Element;
};

/// A handle to an element node.
class Element : public Node {
public:
    Element() = default;

    /// The element's name as written (with its prefix, if any).
    std::string_view name() const;

    /// All attributes in document order.
    std::vector<Attribute> attributes() const;
    /// The attribute with exactly this name, or an empty handle.
    Attribute attributeForName(std::string_view name) const;
    /// Looks up several names in one pass over the start tag: `out[i]` becomes the attribute
    /// named `names[i]`, or an empty handle. `out` holds at least as many handles as `names`.
    void attributesForNames(std::initializer_list<std::string_view> names, Attribute *out) const;
    /// The decoded value of the named attribute, or nullopt when absent.
    std::optional<std::string> attributeValue(std::string_view name) const;

    /// All child nodes in document order.
    std::vector<Node> children() const;
    /// The number of child nodes.
    std::size_t childCount() const;
    /// The first child node, or an empty handle.
    Node firstChild() const;
    /// The last child node, or an empty handle.
    Node lastChild() const;
    /// The direct child elements with exactly this name, in document order.
    std::vector<Element> elementsForName(std::string_view name) const;
    /// The first direct child element with exactly this name, or an empty handle.
    Element firstElementNamed(std::string_view name) const;

    /// Detaches the child at this position; later siblings move down by one.
    void removeChildAtIndex(std::size_t index);
    /// Detaches this child node (which must be a child of this element).
    void removeChild(Node child);
    /// Appends a detached node after the current last child node.
    void addChild(Node child);

    /// A deep, detached copy of this element that keeps the source spelling of all it copies.
    Element copy() const;

    /// Calls `visit` for each attribute with this name on this element and the elements below
    /// it: first on elements read at load, in the order read, then on elements added since, in
    /// the order they were made (the unchanged content of a copy is made when first needed,
    /// at the latest by this pass). Works from the places noted at load (see LoadOptions), so a
    /// pass over a large document reads no other start tag and visits no other node. `visit`
    /// may set values but must not add or remove nodes.
    void forEachAttributeNamed(std::string_view name,
                               const std::function<void(Element, Attribute)> &visit) const;
    /// The same for several names in one pass: an element carrying more than one of them is
    /// visited once per name, in the order of `names`; `which` is the name's position there.
    void forEachAttributeNamed(
        std::initializer_list<std::string_view> names,
        const std::function<void(Element, Attribute, std::size_t which)> &visit) const;

private:
    Element(DocumentImpl *doc, std::uint32_t id) : Node(doc, id) {}
    friend class Node;
    friend class DocumentImpl;
    friend class Document;
};

/// Where loading or saving failed, and why. Messages name the file and the reason.
class DocumentError : public std::exception {
public:
    enum class Kind { Read, Parse, Write };

    /// `file` is the path given to the operation; the message names its last component.
    DocumentError(Kind kind, std::filesystem::path file, std::string reason, std::size_t line = 0,
                  std::size_t column = 0, std::size_t offset = 0);
    /// A Parse error for a document in an encoding the layer does not read; the message names
    /// the encoding, says that `readerName` (when given) cannot read it and asks for UTF-8.
    static DocumentError unsupportedEncoding(std::filesystem::path file,
                                             const std::string &encoding,
                                             std::string_view readerName = {}, std::size_t line = 1,
                                             std::size_t column = 1, std::size_t offset = 0);
    /// A Read or Write error for the system's error number `error`; its reason is the
    /// system's text, except that a full disk (or a file-size limit reached) says so.
    static DocumentError fromSystem(Kind kind, std::filesystem::path file, int error);

    /// The same error told of `subject` (a quoted name such as `“Info.fcpxml” in the bundle
    /// “Day1.fcpxmld”`) instead of the file's last component.
    DocumentError describing(const std::string &subject) const;

    const char *what() const noexcept override { return m_message.c_str(); }
    /// The whole user-facing sentence, for example
    /// `“Day1.fcpxml” is not well-formed XML: mismatched tag (line 12, column 7).`
    const std::string &message() const { return m_message; }
    Kind kind() const { return m_kind; }
    const std::filesystem::path &file() const { return m_file; }
    /// The bare reason, for example `mismatched tag`.
    const std::string &reason() const { return m_reason; }
    /// 1-based line and column of a parse error (0 for read and write errors).
    std::size_t line() const { return m_line; }
    std::size_t column() const { return m_column; }
    /// Byte offset of a parse error in the source.
    std::size_t offset() const { return m_offset; }
    /// The system's error number behind a Read or Write error; 0 when there is none.
    int systemError() const { return m_systemError; }

private:
    std::string compose(const std::string &subject) const;

    Kind m_kind;
    std::filesystem::path m_file;
    std::string m_reason;
    std::size_t m_line, m_column, m_offset;
    std::string m_encoding;   ///< set for a document in an encoding the layer does not read
    std::string m_readerName; ///< who cannot read it, named in the message when set
    int m_systemError = 0;
    std::string m_message;
};

/// How a document is read.
struct LoadOptions {
    /// Attribute names whose places are noted while parsing, so that a pass over them
    /// (Element::forEachAttributeNamed) reads no start tag and visits no other node. Other
    /// names work there too; their places are gathered on first use.
    std::vector<std::string> notedAttributes;
    /// The application reading the document, as the message refusing an unsupported encoding
    /// names it ("which NAME cannot read"); without one it says "which cannot be read".
    std::string readerName = {};
};

/// A whole XML document. Move-only; owns its source buffer and every node. A document read
/// from a file maps the file read-only rather than copying it: the file must not change while
/// the document lives. If it shrinks, the lost bytes read as zeros (never a crash) and
/// `sourceCut()` says so; whoever trusts a result checks the file's size and modification time
/// too, since a change that keeps the size shows only there. A moved-from
/// Document holds none: rootElement and children give empty results, xmlData an empty string,
/// save throws std::logic_error without touching the file; it may be assigned to or destroyed.
class Document {
public:
    /// Reads and parses the file; anything but a regular file (a folder, a pipe, a device) is
    /// refused without being read. Throws DocumentError (Read or Parse).
    static Document load(const std::filesystem::path &file, const LoadOptions &options = {});
    /// Reads and parses a regular file open as `fd` from its current offset; `name` is the file
    /// that messages name. Does not close `fd`. Throws DocumentError (Read or Parse).
    static Document read(int fd, const std::filesystem::path &name,
                         const LoadOptions &options = {});
    /// Parses bytes in memory; `name` is the file named in error messages. Throws DocumentError.
    static Document parse(std::string bytes, const std::filesystem::path &name = "document.xml",
                          const LoadOptions &options = {});

    Document(Document &&) noexcept;
    Document &operator=(Document &&) noexcept;
    ~Document();

    /// The root element, or an empty handle.
    Element rootElement() const;
    /// All document-level nodes (prolog, comments, PIs, the root, trailing whitespace).
    std::vector<Node> children() const;
    /// True when the file this document is mapped from lost bytes while mapped, which now read
    /// as zeros.
    bool sourceCut() const;

    /// The whole document serialised: unchanged parts byte for byte as read.
    std::string xmlData() const;
    /// Serialises the document to a file (opened with truncation, no temporary file).
    /// Safe when `file` is the file the document was loaded from. Throws DocumentError (Write).
    void save(const std::filesystem::path &file) const;
    /// Serialises the document to `fd` at its current offset; `name` is the file that messages
    /// name. Does not close or sync `fd`, but hands what it wrote to the disk as it goes, for
    /// the caller's sync to wait less. `written`, when given, is told the file offset after
    /// each write, so that a reader can follow. Throws DocumentError (Write).
    void save(int fd, const std::filesystem::path &name,
              const std::function<void(std::uint64_t)> &written = {}) const;

private:
    explicit Document(std::unique_ptr<DocumentImpl> impl);
    std::unique_ptr<DocumentImpl> m_impl;
};

} // namespace tessaly::xml
