#pragma once

// Shared by the fuzz programs: checks that stop the run with a readable message (libFuzzer then
// saves the input as a crash), and values built from the fuzzer's bytes.

#include "profile/core/profile_snapshot.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace fuzz {

// A value as it is printed in a failure message: bytes and text escaped, numbers as they are.
inline QByteArray printable(const QByteArray& bytes) {
    QByteArray out = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\')
            out += c;
        else
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
    }
    return out + "\"";
}
inline QByteArray printable(const QString& text) {
    return printable(text.toUtf8());
}
template <typename T>
requires std::is_arithmetic_v<T> QByteArray printable(T value) {
    return QByteArray::number(value);
}

[[noreturn]] inline void fail(const char* file, int line, const char* what, const QByteArray& detail = {}) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n%s\n", file, line, what, detail.constData());
    std::abort();
}

} // namespace fuzz

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            fuzz::fail(__FILE__, __LINE__, #condition);                                                                \
    } while (false)

// Prints both sides when they differ.
#define FUZZ_CHECK_EQ(actual, expected)                                                                                \
    do {                                                                                                               \
        const auto fuzzActual = (actual);                                                                              \
        const auto fuzzExpected = (expected);                                                                          \
        if (!(fuzzActual == fuzzExpected))                                                                             \
            fuzz::fail(__FILE__, __LINE__, #actual " == " #expected,                                                   \
                       "  actual:   " + fuzz::printable(fuzzActual) +                                                  \
                           "\n  expected: " + fuzz::printable(fuzzExpected));                                          \
    } while (false)

namespace fuzz {

// Up to maxBytes bytes taken from the front of the input.
inline QByteArray takeBytes(FuzzedDataProvider& input, size_t maxBytes) {
    const std::string bytes = input.ConsumeRandomLengthString(maxBytes);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Text made of the input's bytes read as UTF-8 (malformed sequences become U+FFFD, a byte order
// mark stays), cut to whole characters that take at most maxUtf8Bytes bytes in UTF-8.
inline QString takeText(FuzzedDataProvider& input, qsizetype maxUtf8Bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(takeBytes(input, static_cast<size_t>(maxUtf8Bytes)));
    while (text.toUtf8().size() > maxUtf8Bytes)
        text.chop(text.back().isLowSurrogate() ? 2 : 1);
    return text;
}

// name with the letter case of its ASCII letters changed where the bits of pattern say so.
inline QByteArray withCaseChanged(QByteArray name, quint64 pattern) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter && (pattern >> (i % 64)) & 1)
            name[i] = static_cast<char>(c ^ 0x20);
    }
    return name;
}

// Every text of a profile's fields, in file order.
inline QList<QString*> profileValues(ProfileFields& f) {
    QList<QString*> values = {&f.Company, &f.Email, &f.First_Name, &f.Last_Name,  &f.Street,
                              &f.City,    &f.State, &f.Zip,        &f.Country,    &f.Country_ID,
                              &f.Phone,   &f.Fax,   &f.Password,   &f.Site_Title, &f.Site_URL};
    for (QString& keyword : f.Keyword)
        values.append(&keyword);
    values.append(&f.Description);
    return values;
}

} // namespace fuzz
