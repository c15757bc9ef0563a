#pragma once

// Resource identifiers shared by the resource script and the code. Plain macros: the resource
// compiler reads this file too.

#define PELLORIN_ICON 1
#define PELLORIN_ABOUT_PICTURE 101
#define PELLORIN_INPUT_BOX 201
#define PELLORIN_INPUT_PROMPT 202
#define PELLORIN_INPUT_TEXT 203
