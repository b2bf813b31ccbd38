// Character and entity references, and the checks on the entities they name: declared, parsed,
// not recursive, well-formed where they are used, and within the expansion limit.

#include "engine/xml/characters.h"
#include "engine/xml/parser.h"
#include "engine/xml/text.h"

namespace tessaly::xml {
namespace {

// Each nesting level costs a few stack frames; real documents nest entities a handful deep.
constexpr unsigned kMaxEntityDepth = 64;

bool isPredefined(std::string_view name) {
    return name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot";
}

} // namespace

std::size_t Parser::scanCharReference(std::size_t p, std::uint32_t &cp) const {
    std::size_t q = p + 2;
    bool hex = m_s[q] == 'x';
    if (hex)
        ++q;
    std::size_t digits = q;
    std::uint32_t value = 0;
    for (;; ++q) {
        char c = m_s[q];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else
            break;
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF)
            value = 0x110000; // stays out of range however many digits follow
    }
    if (q == digits || m_s[q] != ';')
        fail("malformed character reference", p);
    if (!chars::isChar(value))
        fail("reference to an invalid character", p);
    cp = value;
    return q + 1;
}

std::size_t Parser::scanReference(std::size_t p, Context context) {
    if (m_s[p + 1] == '#') {
        std::uint32_t cp;
        std::size_t end = scanCharReference(p, cp);
        addExpansion(1, p);
        return end;
    }
    if (p + 1 >= m_n)
        fail("'&' without a reference", p);
    auto c = static_cast<unsigned char>(m_s[p + 1]);
    if (c < 0x80 && !(chars::kByteClass[c] & chars::kNameStart))
        fail("'&' without a reference", p);
    std::size_t nameEnd = scanName(p + 1, "entity name");
    if (m_s[nameEnd] != ';')
        fail("entity reference without ';'", nameEnd);
    checkEntityReference(std::string_view(m_s + p + 1, nameEnd - p - 1), context, p);
    return nameEnd + 1;
}

bool Parser::entitiesMustBeDeclared() const {
    return !m_hasDoctype || m_standalone || (!m_externalSubset && !m_parameterReferences);
}

void Parser::checkEntityReference(std::string_view name, Context context, std::size_t at) {
    if (isPredefined(name)) {
        addExpansion(1, at);
        return;
    }
    auto it = m_general.find(name);
    if (it == m_general.end()) {
        if (m_inDtd) {
            // Whether this is an error depends on what the rest of the DTD holds.
            if (m_pendingUndeclared.empty()) {
                m_pendingUndeclared = std::string(name);
                m_pendingUndeclaredAt = m_inSource ? at : m_refOffset;
            }
            return;
        }
        if (entitiesMustBeDeclared())
            fail("undefined entity " + curlyQuoted(name), at);
        return;
    }
    Entity &entity = it->second;
    if (entity.unparsed)
        fail("reference to unparsed entity " + curlyQuoted(name), at);
    if (entity.external) {
        if (context == Context::Attribute)
            fail("reference to external entity " + curlyQuoted(name) + " in attribute value", at);
        return; // external parsed entities are never loaded
    }
    checkEntity(entity, context, at);
}

void Parser::checkEntity(Entity &entity, Context context, std::size_t at) {
    bool content = context == Context::Content;
    CheckState &state = content ? entity.contentState : entity.attributeState;
    std::uint64_t &size = content ? entity.contentSize : entity.attributeSize;
    if (state == CheckState::Done) {
        addExpansion(size, at);
        return;
    }
    if (state == CheckState::Active)
        fail("recursive entity reference", at);
    state = CheckState::Active;
    const ScanInput left = enterEntityText(entity.value, at);
    const std::uint64_t expansionOutside = m_expansion;
    m_expansion = 0;
    if (content)
        scanContent<false>(0);
    else
        scanAttributeEntityText();
    size = m_expansion + entity.value.size();
    m_expansion = expansionOutside;
    leaveEntityText(left);
    state = CheckState::Done;
    addExpansion(size, at);
}

Parser::ScanInput Parser::enterEntityText(const std::string &text, std::size_t at) {
    if (m_entityDepth >= kMaxEntityDepth)
        fail("entity references nested too deeply", at);
    ++m_entityDepth;
    const ScanInput left{m_s, m_n, m_refOffset, m_inSource};
    // Errors inside the text are reported where the outermost reference stands in the source.
    if (m_inSource)
        m_refOffset = at;
    m_inSource = false;
    m_s = text.c_str();
    m_n = text.size();
    return left;
}

void Parser::leaveEntityText(const ScanInput &left) {
    m_s = left.s;
    m_n = left.n;
    m_refOffset = left.refOffset;
    m_inSource = left.inSource;
    --m_entityDepth;
}

void Parser::scanAttributeEntityText() {
    std::size_t p = 0;
    while (p < m_n) {
        char c = m_s[p];
        if (c == '<')
            fail("'<' in attribute value", p);
        if (c == '&')
            p = scanReference(p, Context::Attribute);
        else
            p += checkChar(p);
    }
}

void Parser::addExpansion(std::uint64_t size, std::size_t at) {
    m_expansion += size;
    if (m_expansion > m_expansionLimit) {
        m_expansion = m_expansionLimit + 1;
        fail("entity expansion exceeds the limit", at);
    }
}

} // namespace tessaly::xml
