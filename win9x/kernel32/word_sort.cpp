// Windows' word sort for the ANSI code page (Windows-1252). Each byte has
// a weight of one of these kinds:
//
// - ignorable (control characters, unassigned bytes): left out altogether;
// - special (hyphen, apostrophe, the dashes): left out of the comparison
//   and compared last, by where they stand and which they are;
// - one or two sort elements (a ligature or the sharp s counts as two
//   letters), each with a main weight (punctuation, then symbols, then
//   digits, then letters), an accent weight and a case weight.
//
// Two texts compare by their main weights first, then their accents, then
// their case, then their special characters.
#include "kernel32/word_sort.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace win9x::layer {

namespace {

struct Element {
    uint16_t main = 0;
    uint8_t accent = 0;
    uint8_t upper = 0;
};

struct Weight {
    enum class Kind : uint8_t { Ignorable, Special, Sorted } kind = Kind::Ignorable;
    uint8_t count = 0;  // sort elements: 1, or 2 for a ligature
    Element elements[2];
    uint8_t special = 0;  // for a special character: its rank
};

// Main weights: punctuation from 0x100, symbols after it, digits from
// 0x400, letters from 0x500 (ten apart, so that a letter's own symbols such
// as the thorn can follow it).
constexpr uint16_t kDigitBase = 0x400;
constexpr uint16_t kLetterBase = 0x500;

uint16_t LetterWeight(char letter)
{
    return static_cast<uint16_t>(kLetterBase + (letter - 'a') * 10);
}

// Punctuation and symbols, in the order Windows sorts them.
constexpr std::string_view kPunctuationOrder =
    "\t\n\v\f\r \xA0!\"#$%&()*,./:;?@[\\]^_`{|}~"
    "\xA1\xA6\xA8\xAF\xB4\xB7\xB8\xBF\x88\x98\x91\x92\x82\x93\x94\x84\x8B\x9B\x95\x85\x86\x87\x89"
    "\xA2\xA3\xA4\xA5\x80\xA7\xA9\xAB\xAC\xAE\xB0\xB1\xB6\xBB\x99+<=>\xD7\xF7\xBC\xBD\xBE";

// Letters with accents (and the letters that sort as two), upper and lower
// case at once: the byte of each case, the letter(s) it sorts as, and its
// accent.
struct Accented {
    unsigned char upper;
    unsigned char lower;
    const char *letters;
    uint8_t accent;
};

constexpr Accented kAccented[] = {
    {0xC0, 0xE0, "a", 1}, {0xC1, 0xE1, "a", 2}, {0xC2, 0xE2, "a", 3}, {0xC3, 0xE3, "a", 4},
    {0xC4, 0xE4, "a", 5}, {0xC5, 0xE5, "a", 6}, {0xC6, 0xE6, "ae", 0}, {0xC7, 0xE7, "c", 7},
    {0xC8, 0xE8, "e", 1}, {0xC9, 0xE9, "e", 2}, {0xCA, 0xEA, "e", 3}, {0xCB, 0xEB, "e", 5},
    {0xCC, 0xEC, "i", 1}, {0xCD, 0xED, "i", 2}, {0xCE, 0xEE, "i", 3}, {0xCF, 0xEF, "i", 5},
    {0xD0, 0xF0, "d", 8}, {0xD1, 0xF1, "n", 4}, {0xD2, 0xF2, "o", 1}, {0xD3, 0xF3, "o", 2},
    {0xD4, 0xF4, "o", 3}, {0xD5, 0xF5, "o", 4}, {0xD6, 0xF6, "o", 5}, {0xD8, 0xF8, "o", 9},
    {0xD9, 0xF9, "u", 1}, {0xDA, 0xFA, "u", 2}, {0xDB, 0xFB, "u", 3}, {0xDC, 0xFC, "u", 5},
    {0xDD, 0xFD, "y", 2}, {0x9F, 0xFF, "y", 5}, {0x8A, 0x9A, "s", 10}, {0x8E, 0x9E, "z", 10},
    {0x8C, 0x9C, "oe", 0},
};

Element LetterElement(char letter, uint8_t accent, bool upper)
{
    return Element{LetterWeight(letter), accent, static_cast<uint8_t>(upper ? 1 : 0)};
}

void SetLetters(Weight &w, const char *letters, uint8_t accent, bool upper)
{
    w.kind = Weight::Kind::Sorted;
    w.count = 0;
    for (const char *l = letters; *l && w.count < 2; ++l)
        w.elements[w.count++] = LetterElement(*l, accent, upper);
}

void SetOne(Weight &w, uint16_t main, uint8_t accent = 0)
{
    w.kind = Weight::Kind::Sorted;
    w.count = 1;
    w.elements[0] = Element{main, accent, 0};
}

std::array<Weight, 256> BuildTable()
{
    std::array<Weight, 256> table{};  // everything ignorable to start with
    uint16_t next = 0x100;
    for (unsigned char c : kPunctuationOrder)
        SetOne(table[c], next++);
    const unsigned char specials[] = {'\'', '-', 0x96, 0x97};
    for (uint8_t rank = 0; rank < sizeof specials; ++rank) {
        table[specials[rank]].kind = Weight::Kind::Special;
        table[specials[rank]].special = static_cast<uint8_t>(rank + 1);
    }
    for (char d = '0'; d <= '9'; ++d)
        SetOne(table[static_cast<unsigned char>(d)], static_cast<uint16_t>(kDigitBase + (d - '0') * 10));
    SetOne(table[0xB9], kDigitBase + 10, 1);  // superscript one, two, three
    SetOne(table[0xB2], kDigitBase + 20, 1);
    SetOne(table[0xB3], kDigitBase + 30, 1);
    for (char l = 'a'; l <= 'z'; ++l) {
        char upper[2] = {static_cast<char>(l - 'a' + 'A'), 0};
        char lower[2] = {l, 0};
        SetLetters(table[static_cast<unsigned char>(upper[0])], lower, 0, true);
        SetLetters(table[static_cast<unsigned char>(lower[0])], lower, 0, false);
    }
    for (const auto &a : kAccented) {
        SetLetters(table[a.upper], a.letters, a.accent, true);
        SetLetters(table[a.lower], a.letters, a.accent, false);
    }
    SetLetters(table[0xDF], "ss", 0, false);  // sharp s
    SetLetters(table[0x83], "f", 11, false);  // f with hook
    SetLetters(table[0xAA], "a", 12, false);  // ordinal indicators
    SetLetters(table[0xBA], "o", 12, false);
    SetOne(table[0xDE], LetterWeight('t') + 5);  // thorn, after t
    table[0xDE].elements[0].upper = 1;
    SetOne(table[0xFE], LetterWeight('t') + 5);
    SetOne(table[0xB5], LetterWeight('z') + 10);  // micro sign, after the Latin letters
    return table;
}

const std::array<Weight, 256> &Table()
{
    static const std::array<Weight, 256> table = BuildTable();
    return table;
}

struct SortKey {
    std::vector<Element> elements;
    std::vector<std::pair<size_t, uint8_t>> specials;  // where (in elements) and which
};

SortKey MakeKey(const char *text)
{
    SortKey key;
    const auto &table = Table();
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        const Weight &w = table[*p];
        if (w.kind == Weight::Kind::Special)
            key.specials.emplace_back(key.elements.size(), w.special);
        else if (w.kind == Weight::Kind::Sorted)
            key.elements.insert(key.elements.end(), w.elements, w.elements + w.count);
    }
    return key;
}

int Sign(long long difference)
{
    return difference < 0 ? -1 : (difference > 0 ? 1 : 0);
}

// Compares one field of the two keys' elements, in order; the shorter
// sequence sorts first when it is the start of the other.
template <class Field>
int CompareField(const SortKey &a, const SortKey &b, Field field)
{
    size_t n = std::min(a.elements.size(), b.elements.size());
    for (size_t i = 0; i < n; ++i) {
        if (int c = Sign(static_cast<long long>(field(a.elements[i])) - field(b.elements[i])))
            return c;
    }
    return Sign(static_cast<long long>(a.elements.size()) - static_cast<long long>(b.elements.size()));
}

}  // namespace

int CompareWordSort(const char *a, const char *b, bool ignoreCase)
{
    SortKey ka = MakeKey(a ? a : "");
    SortKey kb = MakeKey(b ? b : "");
    if (int c = CompareField(ka, kb, [](const Element &e) { return e.main; }))
        return c;
    if (int c = CompareField(ka, kb, [](const Element &e) { return e.accent; }))
        return c;
    if (!ignoreCase) {
        if (int c = CompareField(ka, kb, [](const Element &e) { return e.upper; }))
            return c;
    }
    // Everything else equal: a text without special characters first, then
    // by where the first differing one stands and which it is.
    size_t n = std::min(ka.specials.size(), kb.specials.size());
    for (size_t i = 0; i < n; ++i) {
        if (ka.specials[i] != kb.specials[i])
            return ka.specials[i] < kb.specials[i] ? -1 : 1;
    }
    return Sign(static_cast<long long>(ka.specials.size()) - static_cast<long long>(kb.specials.size()));
}

}  // namespace win9x::layer
