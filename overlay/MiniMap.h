// The minimap: an overview picture copied onto the back buffer near its
// top-left corner, with filled markers plotted on it.
#pragma once

#include <windows.h>

#include <d3d9.h>

#include "scene/SceneFrame.h"

// The picture is g_MiniMapSurface (app/Globals.h), released by the clean-up.
extern POINT g_MiniMapPos;  // its top-left corner on the back buffer

// Loads "..\Immagini\MiniMap.bmp" with g_Device; a picture loaded before goes.
HRESULT LoadMiniMap();
// The whole picture onto g_BackBuffer at 8 % of the screen's width and height.
HRESULT DrawMiniMap();
// The marker of `first` against `second`, whose box gives the marker's size;
// drawn only when it falls well inside the picture.
void DrawMiniMapMarkers(SceneFrame first, SceneFrame second);
// A 3 by 3 block of the colour centred on (x, y), on the screen only; locks
// the back buffer once.
void PlotMarker(int x, int y, DWORD colour);
