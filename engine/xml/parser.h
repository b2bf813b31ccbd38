#pragma once

#include "engine/xml/characters.h"
#include "engine/xml/document_impl.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tessaly::xml {

/// A well-formedness error found while parsing; `offset` is where in the source it lies.
struct ParseFailure {
    std::string reason;
    std::size_t offset;
};

/// A document in an encoding the layer does not read.
struct EncodingRefusal {
    std::string encoding;
    std::size_t offset;
};

/// Scans a document once, checking every well-formedness constraint of XML 1.0 (Fifth Edition)
/// and building the node tree. Never reads anything but the given bytes.
class Parser {
public:
    explicit Parser(DocumentImpl &doc);
    /// Parses the whole document; throws ParseFailure or EncodingRefusal.
    void parse();

private:
    enum class Context { Content, Attribute };
    enum class CheckState : std::uint8_t { Unchecked, Active, Done };

    struct Entity {
        std::string value; ///< replacement text of an internal entity
        // For a parameter entity, contentState marks one being read (recursion).
        bool external = false;
        bool unparsed = false;
        CheckState contentState = CheckState::Unchecked;
        CheckState attributeState = CheckState::Unchecked;
        std::uint64_t contentSize = 0;
        std::uint64_t attributeSize = 0;
    };

    struct Open {
        std::uint32_t node;
        std::uint32_t nameBegin;
        std::uint32_t nameLength;
        std::uint32_t lastChild;
    };

    // Document level (parser.cpp).
    [[noreturn]] void fail(std::string reason, std::size_t at) const;
    void sniffEncoding() const;
    std::size_t parseXmlDeclaration(std::size_t p);
    std::size_t parseDoctype(std::size_t p);
    void addDocumentChild(NodeKind kind, std::size_t begin, std::size_t end);

    // Lexical helpers (lexer.cpp; the hot ones inline below).
    bool startsWith(std::size_t p, std::string_view text) const {
        return m_n - p >= text.size() && std::memcmp(m_s + p, text.data(), text.size()) == 0;
    }
    bool skipSpace(std::size_t &p) const {
        std::size_t start = p;
        while (chars::kByteClass[static_cast<unsigned char>(m_s[p])] & chars::kSpace)
            ++p;
        return p != start;
    }
    std::size_t scanName(std::size_t p, const char *what) const {
        // ASCII names are the rule; anything else takes the full path from the start.
        if (p < m_n &&
            (chars::kByteClass[static_cast<unsigned char>(m_s[p])] & chars::kNameStart)) {
            std::size_t q = p + 1;
            while (chars::kByteClass[static_cast<unsigned char>(m_s[q])] & chars::kName)
                ++q;
            if (static_cast<unsigned char>(m_s[q]) < 0x80 || q >= m_n)
                return q;
        }
        return scanNameFull(p, what);
    }
    std::size_t scanNameFull(std::size_t p, const char *what) const;
    std::size_t checkChar(std::size_t p) const;
    std::size_t scanNmtoken(std::size_t p, const char *what) const;
    std::size_t scanComment(std::size_t p) const;
    std::size_t scanProcessingInstruction(std::size_t p) const;
    std::size_t scanQuoted(std::size_t p, const char *what) const;

    // Content (content.cpp).
    template <bool Build> std::size_t scanContent(std::size_t p);
    void linkChild(Open &parent, std::uint32_t id) {
        NodeRec &r = m_doc.rec(id);
        r.parent = parent.node;
        if (parent.lastChild == kNoNode) {
            m_doc.rec(parent.node).firstChild = id;
        } else {
            m_doc.rec(parent.lastChild).next = id;
            r.prev = parent.lastChild;
        }
        parent.lastChild = id;
    }
    std::size_t scanCharData(std::size_t p);
    std::size_t scanStartTag(std::size_t p, std::size_t &nameEnd, bool &empty);
    std::size_t scanAttributeValue(std::size_t p, char quote);
    std::size_t scanCData(std::size_t p) const;

    // References (references.cpp).
    std::size_t scanReference(std::size_t p, Context context);
    std::size_t scanCharReference(std::size_t p, std::uint32_t &cp) const;
    void checkEntityReference(std::string_view name, Context context, std::size_t at);
    void checkEntity(Entity &entity, Context context, std::size_t at);
    void scanAttributeEntityText();
    void addExpansion(std::uint64_t size, std::size_t at);
    bool entitiesMustBeDeclared() const;

    /// Where the scanner reads: the source, or the replacement text of an entity.
    struct ScanInput {
        const char *s;
        std::size_t n;
        std::size_t refOffset;
        bool inSource;
    };
    /// Moves the scanner into `text`, an entity's replacement text referenced at `at`; fails
    /// when entities nest too deeply. Returns what leaveEntityText needs to come back.
    ScanInput enterEntityText(const std::string &text, std::size_t at);
    /// Moves the scanner back to the input enterEntityText left.
    void leaveEntityText(const ScanInput &left);

    // Internal subset (dtd.cpp).
    std::size_t parseDeclarations(std::size_t p, bool internalSubset);
    std::size_t parseParameterReference(std::size_t p);
    std::size_t parseElementDeclaration(std::size_t p);
    std::size_t parseContentModel(std::size_t p);
    std::size_t parseAttlistDeclaration(std::size_t p);
    std::size_t parseAttributeType(std::size_t p);
    std::size_t parseEntityDeclaration(std::size_t p);
    std::size_t parseEntityValue(std::size_t p, std::string &value);
    std::size_t parseNotationDeclaration(std::size_t p);
    std::size_t parseExternalId(std::size_t p, bool systemLiteralOptional);
    std::size_t parsePubidLiteral(std::size_t p) const;
    void requireSpace(std::size_t &p, const char *what) const;

    DocumentImpl &m_doc;
    // The input being scanned: the source, or the replacement text of an entity.
    const char *m_s;
    std::size_t m_n;
    // Where the outermost entity reference sits while an entity's text is scanned.
    std::size_t m_refOffset;
    bool m_inSource = true;

    bool m_standalone = false;
    bool m_hasDoctype = false;
    bool m_externalSubset = false;
    bool m_parameterReferences = false;
    bool m_skippedParameterEntity = false;
    bool m_inDtd = false;
    std::string m_pendingUndeclared;
    std::size_t m_pendingUndeclaredAt = 0;

    std::map<std::string, Entity, std::less<>> m_general;
    std::map<std::string, Entity, std::less<>> m_parameter;
    unsigned m_entityDepth = 0;
    std::uint64_t m_expansion = 0;
    std::uint64_t m_expansionLimit;

    std::vector<Open> m_open;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_attributeNames;
    std::uint16_t m_tagNames = 0; ///< name summary of the start tag scanned last
    /// Attributes of the start tag scanned last that the document's index wants noted.
    struct NotedAttribute {
        std::size_t slot;
        AttributeIndex::Entry entry;
    };
    std::vector<NotedAttribute> m_noted;
    std::unordered_set<std::string_view> m_attributeSet;
};

} // namespace tessaly::xml
