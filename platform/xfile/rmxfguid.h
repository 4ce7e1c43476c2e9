// Identifiers of the standard templates (the GUIDs of standard_templates.x).
#pragma once

#include <windows.h>

extern const GUID TID_DXFILEHeader;
extern const GUID TID_D3DRMVector;
extern const GUID TID_D3DRMCoords2d;
extern const GUID TID_D3DRMMatrix4x4;
extern const GUID TID_D3DRMColorRGBA;
extern const GUID TID_D3DRMColorRGB;
extern const GUID TID_D3DRMIndexedColor;
extern const GUID TID_D3DRMBoolean;
extern const GUID TID_D3DRMBoolean2d;
extern const GUID TID_D3DRMMaterialWrap;
extern const GUID TID_D3DRMTextureFilename;
extern const GUID TID_D3DRMMaterial;
extern const GUID TID_D3DRMMeshFace;
extern const GUID TID_D3DRMMeshFaceWraps;
extern const GUID TID_D3DRMMeshTextureCoords;
extern const GUID TID_D3DRMMeshMaterialList;
extern const GUID TID_D3DRMMeshNormals;
extern const GUID TID_D3DRMMeshVertexColors;
extern const GUID TID_D3DRMMesh;
extern const GUID TID_D3DRMFrameTransformMatrix;
extern const GUID TID_D3DRMFrame;
extern const GUID TID_D3DRMFloatKeys;
extern const GUID TID_D3DRMTimedFloatKeys;
extern const GUID TID_D3DRMAnimationKey;
extern const GUID TID_D3DRMAnimationOptions;
extern const GUID TID_D3DRMAnimation;
extern const GUID TID_D3DRMAnimationSet;
extern const GUID TID_D3DRMGuid;
extern const GUID TID_D3DRMInlineData;
extern const GUID TID_D3DRMUrl;
extern const GUID TID_D3DRMProgressiveMesh;
extern const GUID TID_D3DRMStringProperty;
extern const GUID TID_D3DRMPropertyBag;
extern const GUID TID_D3DRMExternalVisual;
extern const GUID TID_D3DRMRightHanded;
