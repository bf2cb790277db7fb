// CMediaType: an AM_MEDIA_TYPE that owns its format block (allocated with CoTaskMemAlloc) and
// its pUnk reference, with copying, comparison and partial matching. The free functions handle
// AM_MEDIA_TYPEs passed across interfaces (CreateMediaType / DeleteMediaType allocate and free
// the structure itself as well).
#pragma once

#include "platform/dshow/Strmif.h"
#include "platform/dshow/Uuids.h"

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const GUID* majortype);
    CMediaType(const AM_MEDIA_TYPE& mt, HRESULT* phr = nullptr);
    CMediaType(const CMediaType& mt, HRESULT* phr = nullptr);
    ~CMediaType();

    CMediaType& operator=(const CMediaType& mt);
    CMediaType& operator=(const AM_MEDIA_TYPE& mt);
    // Equal major type, subtype, format type and format bytes.
    BOOL operator==(const CMediaType& mt) const;
    BOOL operator!=(const CMediaType& mt) const { return !(*this == mt); }

    // Deep copy; E_OUTOFMEMORY leaves this type empty.
    HRESULT Set(const CMediaType& rt);
    HRESULT Set(const AM_MEDIA_TYPE& rt);

    // A type with a major type set.
    BOOL IsValid() const;

    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* ptype) { majortype = *ptype; }
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* ptype) { subtype = *ptype; }
    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* pformattype) { formattype = *pformattype; }

    BOOL IsFixedSize() const { return bFixedSizeSamples; }
    BOOL IsTemporalCompressed() const { return bTemporalCompression; }
    ULONG GetSampleSize() const;
    void SetSampleSize(ULONG sz);
    void SetVariableSize();
    void SetTemporalCompression(BOOL bCompressed);

    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // Replaces the format block with a copy of the given bytes; FALSE when out of memory.
    BOOL SetFormat(const BYTE* pFormat, ULONG length);
    // Frees the format block and sets the format type to GUID_NULL.
    void ResetFormatBuffer();
    // A format block of the given length (contents undefined; the old block is freed); null
    // when out of memory. ReallocFormatBuffer keeps the leading bytes.
    BYTE* AllocFormatBuffer(ULONG length);
    BYTE* ReallocFormatBuffer(ULONG length);

    // Clears everything to the "no type" state (fixed-size samples of size 1).
    void InitMediaType();

    // GUID_NULL in major type, subtype or format type means "any".
    BOOL IsPartiallySpecified() const;
    // Fields that are set in ppartial equal ours.
    BOOL MatchesPartial(const CMediaType* ppartial) const;
};

// Frees the format block and the pUnk reference, leaving the structure itself.
void WINAPI FreeMediaType(AM_MEDIA_TYPE& mt);
// Frees the format block and the structure (for types allocated by CreateMediaType).
void WINAPI DeleteMediaType(AM_MEDIA_TYPE* pmt);
// Deep copy into a structure the caller owns; E_OUTOFMEMORY leaves it without a format block.
HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);
// A new CoTaskMemAlloc'd deep copy, or null.
AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* pSrc);
