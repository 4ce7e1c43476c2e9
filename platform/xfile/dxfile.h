// The X-file reader service: files of templates and data objects, in the text,
// binary and compressed encodings.
#pragma once

#include <windows.h>

#include "rmxfguid.h"
#include "dx9xtmpl.h"
#include "rmxftmpl.h"

typedef DWORD DXFILELOADOPTIONS;

#define DXFILELOAD_FROMFILE 0x00u
#define DXFILELOAD_FROMRESOURCE 0x01u
#define DXFILELOAD_FROMMEMORY 0x02u
#define DXFILELOAD_FROMSTREAM 0x04u
#define DXFILELOAD_FROMURL 0x08u

typedef struct _DXFILELOADMEMORY {
    LPVOID lpMemory;
    DWORD dSize;
} DXFILELOADMEMORY, *LPDXFILELOADMEMORY;

struct IDirectXFile;
struct IDirectXFileEnumObject;
struct IDirectXFileObject;
struct IDirectXFileData;
struct IDirectXFileDataReference;
typedef IDirectXFile* LPDIRECTXFILE;
typedef IDirectXFileEnumObject* LPDIRECTXFILEENUMOBJECT;
typedef IDirectXFileObject* LPDIRECTXFILEOBJECT;
typedef IDirectXFileData* LPDIRECTXFILEDATA;
typedef IDirectXFileDataReference* LPDIRECTXFILEDATAREFERENCE;

struct IDirectXFile : IUnknown {
    // pvSource: a file name (FROMFILE, Windows path) or a DXFILELOADMEMORY*
    // (FROMMEMORY). The whole file is read here: a malformed file fails.
    virtual HRESULT CreateEnumObject(LPCVOID pvSource, DXFILELOADOPTIONS dwLoadOptions,
                                     LPDIRECTXFILEENUMOBJECT* ppEnumObj) = 0;
    // A block of template definitions ("xof ..." in any encoding); they become
    // known to the enumerators created afterwards.
    virtual HRESULT RegisterTemplates(LPCVOID pvData, DWORD cbSize) = 0;
};

struct IDirectXFileEnumObject : IUnknown {
    // The next top-level data object; DXFILEERR_NOMOREOBJECTS after the last.
    virtual HRESULT GetNextDataObject(LPDIRECTXFILEDATA* ppDataObj) = 0;
};

struct IDirectXFileObject : IUnknown {
    // With a null buffer: *pdwBufLen = length counting the terminator, or 0
    // when the object has no name.
    virtual HRESULT GetName(LPSTR pstrNameBuf, LPDWORD pdwBufLen) = 0;
    virtual HRESULT GetId(LPGUID pGuid) = 0;
};

struct IDirectXFileData : IDirectXFileObject {
    // szMember null: all of the object's data, packed along its template;
    // else that member's part. Valid while any handle to the file lives.
    virtual HRESULT GetData(LPCSTR szMember, DWORD* pcbSize, void** ppvData) = 0;
    virtual HRESULT GetType(const GUID** ppguid) = 0;
    // The next child in file order (a data object or a reference), each
    // handle fresh; DXFILEERR_NOMOREOBJECTS after the last.
    virtual HRESULT GetNextObject(LPDIRECTXFILEOBJECT* ppChildObj) = 0;
};

struct IDirectXFileDataReference : IDirectXFileObject {
    virtual HRESULT Resolve(LPDIRECTXFILEDATA* ppDataObj) = 0;
};

HRESULT WINAPI DirectXFileCreate(LPDIRECTXFILE* lplpDirectXFile);

extern const IID IID_IDirectXFile;
extern const IID IID_IDirectXFileEnumObject;
extern const IID IID_IDirectXFileSaveObject;
extern const IID IID_IDirectXFileObject;
extern const IID IID_IDirectXFileData;
extern const IID IID_IDirectXFileDataReference;
extern const IID IID_IDirectXFileBinary;

#define _FACDD 0x876
#define MAKE_DDHRESULT(code) MAKE_HRESULT(1, _FACDD, code)

#define DXFILE_OK 0

#define DXFILEERR_BADOBJECT MAKE_DDHRESULT(850)
#define DXFILEERR_BADVALUE MAKE_DDHRESULT(851)
#define DXFILEERR_BADTYPE MAKE_DDHRESULT(852)
#define DXFILEERR_BADSTREAMHANDLE MAKE_DDHRESULT(853)
#define DXFILEERR_BADALLOC MAKE_DDHRESULT(854)
#define DXFILEERR_NOTFOUND MAKE_DDHRESULT(855)
#define DXFILEERR_NOTDONEYET MAKE_DDHRESULT(856)
#define DXFILEERR_FILENOTFOUND MAKE_DDHRESULT(857)
#define DXFILEERR_RESOURCENOTFOUND MAKE_DDHRESULT(858)
#define DXFILEERR_URLNOTFOUND MAKE_DDHRESULT(859)
#define DXFILEERR_BADRESOURCE MAKE_DDHRESULT(860)
#define DXFILEERR_BADFILETYPE MAKE_DDHRESULT(861)
#define DXFILEERR_BADFILEVERSION MAKE_DDHRESULT(862)
#define DXFILEERR_BADFILEFLOATSIZE MAKE_DDHRESULT(863)
#define DXFILEERR_BADFILECOMPRESSIONTYPE MAKE_DDHRESULT(864)
#define DXFILEERR_BADFILE MAKE_DDHRESULT(865)
#define DXFILEERR_PARSEERROR MAKE_DDHRESULT(866)
#define DXFILEERR_NOTEMPLATE MAKE_DDHRESULT(867)
#define DXFILEERR_BADARRAYSIZE MAKE_DDHRESULT(868)
#define DXFILEERR_BADDATAREFERENCE MAKE_DDHRESULT(869)
#define DXFILEERR_INTERNALERROR MAKE_DDHRESULT(870)
#define DXFILEERR_NOMOREOBJECTS MAKE_DDHRESULT(871)
#define DXFILEERR_BADINTRINSICS MAKE_DDHRESULT(872)
#define DXFILEERR_NOMORESTREAMHANDLES MAKE_DDHRESULT(873)
#define DXFILEERR_NOMOREDATA MAKE_DDHRESULT(874)
#define DXFILEERR_BADCACHEFILE MAKE_DDHRESULT(875)
#define DXFILEERR_NOINTERNET MAKE_DDHRESULT(876)
