// Identifiers and the standard data formats of the keyboard and the mouse.
#include "dinput.h"

const IID IID_IDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const IID IID_IDirectInputDevice8A = {0x54D41080, 0xDC15, 0x4833, {0xA4, 0x1B, 0x74, 0x8F, 0x73, 0xA3, 0x81, 0x79}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Button = {0xA36D02F0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Key = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

// Filled at compile time: nothing depends on the order of static initialisation.
struct KeyboardObjects {
    DIOBJECTDATAFORMAT objects[256];
};

constexpr KeyboardObjects MakeKeyboardObjects() {
    KeyboardObjects k{};
    for (DWORD i = 0; i < 256; ++i)
        k.objects[i] = {&GUID_Key, i, DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i), 0};
    return k;
}

KeyboardObjects g_keyboardObjects = MakeKeyboardObjects();

const DWORD kAxis = DIDFT_AXIS | DIDFT_ANYINSTANCE;
const DWORD kButton = DIDFT_BUTTON | DIDFT_ANYINSTANCE;
const DWORD kOptional = DIDFT_OPTIONAL;

// The mouse's objects: the first seven make the four-button format, all of
// them the eight-button one.
DIOBJECTDATAFORMAT g_mouseObjects[] = {
    {&GUID_XAxis, DIMOFS_X, kAxis, 0},
    {&GUID_YAxis, DIMOFS_Y, kAxis, 0},
    {&GUID_ZAxis, DIMOFS_Z, kOptional | kAxis, 0},
    {nullptr, DIMOFS_BUTTON0, kButton, 0},
    {nullptr, DIMOFS_BUTTON1, kButton, 0},
    {nullptr, DIMOFS_BUTTON2, kOptional | kButton, 0},
    {nullptr, DIMOFS_BUTTON3, kOptional | kButton, 0},
    {nullptr, DIMOFS_BUTTON4, kOptional | kButton, 0},
    {nullptr, DIMOFS_BUTTON5, kOptional | kButton, 0},
    {nullptr, DIMOFS_BUTTON6, kOptional | kButton, 0},
    {nullptr, DIMOFS_BUTTON7, kOptional | kButton, 0},
};

}  // namespace

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT),
                                     DIDF_RELAXIS, 256, 256, g_keyboardObjects.objects};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS,
                                  sizeof(DIMOUSESTATE), 7, g_mouseObjects};
const DIDATAFORMAT c_dfDIMouse2 = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS,
                                   sizeof(DIMOUSESTATE2), 11, g_mouseObjects};
