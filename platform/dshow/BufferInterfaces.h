// The buffer views that a media sample can also present: Windows Media INSSBuffer to
// INSSBuffer4, DirectX Media Objects IMediaBuffer and Media Foundation IMFMediaBuffer, with the
// SDK's IIDs and method order. On Windows the SDK's wmsbuffer.h, mediaobj.h and mfobjects.h.
#pragma once

#include "platform/com/Unknown.h"

#ifdef _WIN32
#include <mediaobj.h>
#include <mfobjects.h>
#include <wmsbuffer.h>
// Some SDKs (mingw-w64) stop at INSSBuffer3.
#ifndef __INSSBuffer4_INTERFACE_DEFINED__
#define __INSSBuffer4_INTERFACE_DEFINED__
inline constexpr GUID IID_INSSBuffer4 = {0xB6B8FD5A, 0x32E2, 0x49D4, {0xA9, 0x10, 0xC2, 0x6C, 0xC8, 0x54, 0x65, 0xED}};
struct INSSBuffer4 : INSSBuffer3 {
    virtual HRESULT STDMETHODCALLTYPE GetPropertyCount(DWORD* pcBufferProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyByIndex(DWORD dwBufferPropertyIndex,
                                                         GUID* pguidBufferProperty,
                                                         void* pvBufferProperty,
                                                         DWORD* pdwBufferPropertySize) = 0;
};
#endif
#else

inline constexpr GUID IID_INSSBuffer = {
    0xE1CD3524, 0x03D7, 0x11D2, {0x9E, 0xED, 0x00, 0x60, 0x97, 0xD2, 0xD7, 0xCF}};
inline constexpr GUID IID_INSSBuffer2 = {
    0x4F528693, 0x1035, 0x43FE, {0xB4, 0x28, 0x75, 0x75, 0x61, 0xAD, 0x3A, 0x68}};
inline constexpr GUID IID_INSSBuffer3 = {
    0xC87CEAAF, 0x75BE, 0x4BC4, {0x84, 0xEB, 0xAC, 0x27, 0x98, 0x50, 0x76, 0x72}};
inline constexpr GUID IID_INSSBuffer4 = {
    0xB6B8FD5A, 0x32E2, 0x49D4, {0xA9, 0x10, 0xC2, 0x6C, 0xC8, 0x54, 0x65, 0xED}};
inline constexpr GUID IID_IMediaBuffer = {
    0x59EFF8B9, 0x938C, 0x4A26, {0x82, 0xF2, 0x95, 0xCB, 0x84, 0xCD, 0xC8, 0x37}};
inline constexpr GUID IID_IMFMediaBuffer = {
    0x045FA593, 0x8799, 0x42B8, {0xBC, 0x8D, 0x89, 0x68, 0xC6, 0x45, 0x35, 0x07}};

struct INSSBuffer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetLength(DWORD* pdwLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLength(DWORD dwLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* pdwLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** ppdwBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** ppdwBuffer, DWORD* pdwLength) = 0;
};

struct INSSBuffer2 : INSSBuffer {
    virtual HRESULT STDMETHODCALLTYPE GetSampleProperties(DWORD cbProperties,
                                                          BYTE* pbProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSampleProperties(DWORD cbProperties,
                                                          BYTE* pbProperties) = 0;
};

struct INSSBuffer3 : INSSBuffer2 {
    virtual HRESULT STDMETHODCALLTYPE SetProperty(GUID guidBufferProperty, void* pvBufferProperty,
                                                  DWORD dwBufferPropertySize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperty(GUID guidBufferProperty, void* pvBufferProperty,
                                                  DWORD* pdwBufferPropertySize) = 0;
};

struct INSSBuffer4 : INSSBuffer3 {
    virtual HRESULT STDMETHODCALLTYPE GetPropertyCount(DWORD* pcBufferProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyByIndex(DWORD dwBufferPropertyIndex,
                                                         GUID* pguidBufferProperty,
                                                         void* pvBufferProperty,
                                                         DWORD* pdwBufferPropertySize) = 0;
};

struct IMediaBuffer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetLength(DWORD cbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* pcbMaxLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** ppBuffer, DWORD* pcbLength) = 0;
};

struct IMFMediaBuffer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Lock(BYTE** ppbBuffer, DWORD* pcbMaxLength,
                                           DWORD* pcbCurrentLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unlock() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentLength(DWORD* pcbCurrentLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCurrentLength(DWORD cbCurrentLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* pcbMaxLength) = 0;
};
#endif
