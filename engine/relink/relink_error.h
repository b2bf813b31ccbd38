#pragma once

#include <exception>
#include <string>

namespace tessaly {

/// The relink's own refusals; each case carries the sentence the user is shown.
class RelinkError : public std::exception {
public:
    enum class Case { duplicateStem, noRoot, noResources, noBrawFound, noMovFound };

    /// Two media references of one kind (`mov` or `braw`) share the stem.
    static RelinkError duplicateStem(std::string stem, std::string extension);
    static RelinkError noRoot() { return RelinkError(Case::noRoot); }
    static RelinkError noResources() { return RelinkError(Case::noResources); }
    static RelinkError noBrawFound() { return RelinkError(Case::noBrawFound); }
    static RelinkError noMovFound() { return RelinkError(Case::noMovFound); }

    Case errorCase() const { return m_case; }
    /// The stem carried by `duplicateStem`, else empty.
    const std::string &stem() const { return m_stem; }
    /// The lower-case extension carried by `duplicateStem`, else empty.
    const std::string &extension() const { return m_extension; }

    /// The text the user sees for this case.
    const std::string &errorDescription() const { return m_description; }
    const char *what() const noexcept override { return m_description.c_str(); }

private:
    explicit RelinkError(Case c, std::string stem = {}, std::string extension = {});

    Case m_case;
    std::string m_stem;
    std::string m_extension;
    std::string m_description;
};

} // namespace tessaly
