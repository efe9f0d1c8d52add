#pragma once
// The shape tools live with the document, which turns a tool's drag into its element.
#include "Kivaro/document/DrawingTool.h"
