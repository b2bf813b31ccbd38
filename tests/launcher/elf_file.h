#pragma once

#include <elf.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tessaly::testing {

/// A 64-bit ELF file read whole, for checking what the build put into a program or library. Any
/// other file reads as one without sections.
class ElfFile {
public:
    explicit ElfFile(const std::filesystem::path &path) : m_bytes(readFile(path)) {
        if (m_bytes.size() < sizeof(Elf64_Ehdr) ||
            std::memcmp(m_bytes.data(), ELFMAG, SELFMAG) != 0 || m_bytes[EI_CLASS] != ELFCLASS64)
            return;
        Elf64_Ehdr header = at<Elf64_Ehdr>(0);
        for (std::size_t i = 0; i < header.e_shnum; ++i)
            m_sections.push_back(at<Elf64_Shdr>(header.e_shoff + i * sizeof(Elf64_Shdr)));
        if (header.e_shstrndx < m_sections.size())
            m_names = m_sections[header.e_shstrndx];
    }

    /// The header of section `name`, if the file has one.
    std::optional<Elf64_Shdr> section(const std::string &name) const {
        for (const Elf64_Shdr &s : m_sections) {
            if (text(m_names, s.sh_name) == name)
                return s;
        }
        return std::nullopt;
    }

    /// The bytes of section `name`, if the file has it.
    std::optional<std::string> contents(const std::string &name) const {
        auto s = section(name);
        if (!s)
            return std::nullopt;
        return m_bytes.substr(s->sh_offset, s->sh_size);
    }

    /// The texts of the dynamic entries tagged `tag` (DT_NEEDED, DT_RUNPATH, ...).
    std::vector<std::string> dynamicTexts(std::int64_t tag) const {
        std::vector<std::string> result;
        auto dynamic = section(".dynamic");
        auto strings = section(".dynstr");
        if (!dynamic || !strings)
            return result;
        for (std::size_t offset = 0; offset + sizeof(Elf64_Dyn) <= dynamic->sh_size;
             offset += sizeof(Elf64_Dyn)) {
            Elf64_Dyn entry = at<Elf64_Dyn>(dynamic->sh_offset + offset);
            if (entry.d_tag == tag)
                result.push_back(text(*strings, entry.d_un.d_val));
        }
        return result;
    }

private:
    template <typename T> T at(std::size_t offset) const {
        T value{};
        if (offset + sizeof(T) <= m_bytes.size())
            std::memcpy(&value, m_bytes.data() + offset, sizeof(T));
        return value;
    }
    std::string text(const Elf64_Shdr &table, std::size_t offset) const {
        if (offset >= table.sh_size || table.sh_offset + offset >= m_bytes.size())
            return {};
        return std::string(m_bytes.c_str() + table.sh_offset + offset);
    }

    std::string m_bytes;
    std::vector<Elf64_Shdr> m_sections;
    Elf64_Shdr m_names{};
};

} // namespace tessaly::testing
