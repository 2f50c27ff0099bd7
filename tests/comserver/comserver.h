// What the tests know of the test server: its class and names. (No inline
// variables: they would be unique symbols, which keep a module from unloading.)
#pragma once

#include <objbase.h>

// {6A8E1F30-52C4-4B0E-9E55-3D1C7B2A9F01}
static const CLSID CLSID_RevdirTestObject = {
    0x6A8E1F30, 0x52C4, 0x4B0E, {0x9E, 0x55, 0x3D, 0x1C, 0x7B, 0x2A, 0x9F, 0x01}};
#define REVDIR_TEST_CLSID_TEXT "{6A8E1F30-52C4-4B0E-9E55-3D1C7B2A9F01}"
#define REVDIR_TEST_PROGID "RevdirTest.Object"
#define REVDIR_TEST_PROGID_1 "RevdirTest.Object.1"
// Files with this extension open as objects of the class.
#define REVDIR_TEST_EXTENSION ".rdtest"
