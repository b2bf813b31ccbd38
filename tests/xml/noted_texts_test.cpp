// The values noted at load, each kept once.
#include "engine/xml/attribute_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessaly::xml;

// Equal values in the same quotes share a number; a value in the other quote, or differing in
// one byte, short or long, has its own. Numbers hold through the table's growth, and texts are
// given back as written.
TEST(NotedTexts, EqualValuesShareANumber) {
    NotedTexts texts;
    const std::vector<std::string> values = {"", "r1", "r2", "r12345", "r1234567",
                                             "a value longer than a slot holds", "r1 "};
    std::vector<std::uint32_t> first(values.size()), again(values.size()), single(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        texts.add('"', values[i], first[i]);
    for (std::size_t i = 0; i < values.size(); ++i)
        texts.add('\'', values[i], single[i]);
    // Enough others to grow the table several times between the first time and the next.
    std::vector<std::string> otherValues;
    for (int i = 0; i < 20000; ++i)
        otherValues.push_back("id" + std::to_string(i));
    std::vector<std::uint32_t> others(otherValues.size());
    for (std::size_t i = 0; i < others.size(); ++i)
        texts.add('"', otherValues[i], others[i]); // read when the numbers are set
    for (std::size_t i = 0; i < values.size(); ++i)
        texts.add('"', values[i], again[i]);
    texts.stopAdding();

    EXPECT_EQ(first, again);
    for (std::size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(values[i]);
        EXPECT_NE(first[i], single[i]);
        EXPECT_EQ(texts.value(first[i]), values[i]);
        EXPECT_EQ(texts.quote(first[i]), '"');
        EXPECT_EQ(texts.value(single[i]), values[i]);
        EXPECT_EQ(texts.quote(single[i]), '\'');
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_NE(first[i], first[j]);
    }
    // One number for each distinct text, counted from 0.
    EXPECT_EQ(others.back(), 2 * values.size() + others.size() - 1);
    EXPECT_EQ(texts.value(others[777]), "id777");
}
