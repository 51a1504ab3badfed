// The PDULOG_API mark of the public declarations, and which kind of pdulog a program uses.
// One header for the static and the shared build, so that both install into one prefix:
// the kind comes from PDULOG_SHARED_LIBRARY, which the CMake target and the pkg-config file
// of each build define (1: a shared object or DLL, 0: a static library; a program that sets
// neither uses a static pdulog).
#pragma once

#ifndef PDULOG_SHARED_LIBRARY
#define PDULOG_SHARED_LIBRARY 0
#endif

// PDULOG_BUILDING_LIBRARY: the library's own sources. PDULOG_STATIC_DEFINE: a program that
// compiles the library's sources into itself, as older builds of the command did.
#if PDULOG_SHARED_LIBRARY && !defined(PDULOG_STATIC_DEFINE)
#if defined(_WIN32)
#if defined(PDULOG_BUILDING_LIBRARY)
#define PDULOG_API __declspec(dllexport)
#else
#define PDULOG_API __declspec(dllimport)
#endif
#else
#define PDULOG_API __attribute__((visibility("default")))
#endif
#else
#define PDULOG_API
#endif
