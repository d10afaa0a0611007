// The bounded formatter behind snprintf and vsnprintf. It knows the
// conversions the deliverables use: %s, %d, %u and %%, each with an optional
// precision (%.8d: at least eight digits; %.3s: at most three characters).
// Anything else (flags, widths, length modifiers, other conversions) is
// refused with -1 and an empty text rather than printed wrongly.
//
// As in C, the text is cut to fit the buffer and always terminated (when
// the buffer has room for anything), and the result is the length the whole
// text would have, so that a caller sees that it did not fit.
#include <limits.h>

#include "wincrt.h"

namespace {

struct Output {
    char *buffer;
    size_t size;
    size_t length; // of the whole text, also past the end of the buffer
};

void Put(Output *out, char c)
{
    if (out->length + 1 < out->size)
        out->buffer[out->length] = c;
    out->length++;
}

void PutText(Output *out, const char *text, size_t limit)
{
    for (size_t i = 0; i < limit && text[i] != '\0'; i++)
        Put(out, text[i]);
}

// A number with at least `minDigits` digits (none at all for 0 with no
// digits asked for, as in C), led by '-' when negative.
void PutNumber(Output *out, unsigned int magnitude, bool negative, size_t minDigits)
{
    char digits[16];
    size_t count = 0;
    for (; magnitude != 0; magnitude /= 10)
        digits[count++] = (char)('0' + magnitude % 10);
    if (negative)
        Put(out, '-');
    for (size_t i = count; i < minDigits; i++)
        Put(out, '0');
    while (count > 0)
        Put(out, digits[--count]);
}

struct Directive {
    bool hasPrecision;
    size_t precision;
    char conversion;
};

// Reads a directive after its '%': an optional ".N" and the conversion.
// Returns the character after it, or NULL for a format that ends early or
// a precision too large to be meant.
const char *ReadDirective(const char *p, Directive *directive)
{
    directive->hasPrecision = *p == '.';
    directive->precision = 0;
    if (directive->hasPrecision) {
        for (p++; *p >= '0' && *p <= '9'; p++) {
            directive->precision = directive->precision * 10 + (size_t)(*p - '0');
            if (directive->precision > INT_MAX)
                return NULL;
        }
    }
    directive->conversion = *p;
    return *p != '\0' ? p + 1 : NULL;
}

// Writes one conversion; false for one this formatter does not know.
bool PutConversion(Output *out, const Directive &directive, va_list *arguments)
{
    switch (directive.conversion) {
    case '%':
        if (directive.hasPrecision)
            return false;
        Put(out, '%');
        return true;
    case 's': {
        const char *text = va_arg(*arguments, const char *);
        PutText(out, text != NULL ? text : "(null)", directive.hasPrecision ? directive.precision : (size_t)-1);
        return true;
    }
    case 'd': {
        int value = va_arg(*arguments, int);
        unsigned int magnitude = value < 0 ? 0U - (unsigned int)value : (unsigned int)value;
        PutNumber(out, magnitude, value < 0, directive.hasPrecision ? directive.precision : 1);
        return true;
    }
    case 'u':
        PutNumber(out, va_arg(*arguments, unsigned int), false, directive.hasPrecision ? directive.precision : 1);
        return true;
    default: return false;
    }
}

int Fail(Output *out)
{
    if (out->size > 0)
        out->buffer[0] = '\0';
    return -1;
}

} // namespace

extern "C" int WINCRT_NAME(vsnprintf)(char *buffer, size_t size, const char *format, va_list arguments)
{
    Output out = {buffer, size, 0};
    va_list args;
    va_copy(args, arguments);
    const char *p = format;
    while (*p != '\0') {
        if (*p != '%') {
            Put(&out, *p++);
            continue;
        }
        Directive directive;
        p = ReadDirective(p + 1, &directive);
        if (p == NULL || !PutConversion(&out, directive, &args)) {
            va_end(args);
            return Fail(&out);
        }
    }
    va_end(args);
    if (out.length > INT_MAX)
        return Fail(&out);
    if (size > 0)
        buffer[out.length < size ? out.length : size - 1] = '\0';
    return (int)out.length;
}

extern "C" int WINCRT_NAME(snprintf)(char *buffer, size_t size, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = WINCRT_NAME(vsnprintf)(buffer, size, format, arguments);
    va_end(arguments);
    return length;
}
