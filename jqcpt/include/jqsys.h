/*
 * jqsys.h - the basics that every module shares: fixed-width types, C
 * linkage, export and calling-convention markers and compile-time checks. It
 * can be used from C (C11 or later) and from C++.
 */
#ifndef JQSYS_H
#define JQSYS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define JQ_BEGIN_DECLS extern "C" {
#define JQ_END_DECLS }
#define JQ_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define JQ_BEGIN_DECLS
#define JQ_END_DECLS
#define JQ_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/*
 * Keeps an identification string in the binary although nothing refers to
 * it. A header defines its own string only in the unit that defines
 * JQ_HEADER_IDENTS before including it, so that a binary holds it once.
 */
#if defined(__GNUC__) || defined(__clang__)
#define JQ_IDENT __attribute__((used))
#else
#define JQ_IDENT
#endif

/* These say how a library of ours exports its functions and how they are called. */
#if defined(_WIN32)
#define JQ_CALL __cdecl
#define JQ_EXPORT __declspec(dllexport)
#define JQ_IMPORT __declspec(dllimport)
#else
#define JQ_CALL
#define JQ_EXPORT __attribute__((visibility("default")))
#define JQ_IMPORT
#endif

/* A UTF-16 code unit is the wide character of our records. */
typedef uint16_t JQ_WCHAR16;

#if defined(JQ_HEADER_IDENTS)
static const char jqsys_h_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-10 09:00:00   jqsys.h /main/jqsys/5 ~";
#endif

#endif /* JQSYS_H */
