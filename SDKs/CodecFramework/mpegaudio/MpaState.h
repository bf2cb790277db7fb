// The decoder state: one block from the codec's allocator. Everything a frame needs lives here;
// the only pointers kept inside are the kernel contexts, which are rebased when the block moves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SDKs/CodecFramework/CodecCommon/AudioDecoderRecord.h"
#include "SDKs/CodecFramework/mpegaudio/MpaBits.h"
#include "primitives/AudioCoding.h"

namespace UMC {
namespace mpa {

// Internal results of the decoding core, and beyond the shared ones a kernel set-up that fails.
using audio::CoreResult;
using enum audio::CoreResult;
inline constexpr int kUnsupported = 8;

inline constexpr int kReservoirSize = 112000;
// Room behind the reservoir's data: the Huffman kernels may read ahead of what they consume, and
// a damaged granule can run its big-value region past the end of the data.
inline constexpr int kReservoirSlack = 4096;
inline constexpr int kSynthesisStates = 5;
inline constexpr int kHuffSpecs = 17;  // tables 1,2,3,5..13,15,16,24 and the two count1 tables

struct FrameHeader {
    int32_t id;  // 1 MPEG-1, 0 MPEG-2/2.5
    int32_t layer;
    int32_t crcPresent;
    int32_t bitrateIndex;
    int32_t samplingIndex;
    int32_t paddingBit;
    int32_t privateBit;
    int32_t mode;
    int32_t modeExtension;
    int32_t copyright;
    int32_t original;
    int32_t emphasis;
    int32_t mpeg25;  // 2 when the second sync bit is 0
    int32_t channels;
    int32_t intensity;
    int32_t midSide;
    int32_t payloadLength;  // frame length - 4
    uint32_t crcRead;
    uint32_t crcComputed;
};

struct GranuleChannel {
    int32_t part23Length;
    int32_t bigValues;
    int32_t globalGain;
    int32_t scalefacCompress;
    int32_t windowSwitching;
    int32_t blockType;
    int32_t mixedBlock;
    int32_t tableSelect[3];
    int32_t subblockGain[3];  // stored times -8
    int32_t region0Count;
    int32_t region1Count;
    int32_t preflag;
    int32_t scalefacScale;
    int32_t count1Table;
};

struct SideInfo {
    int32_t mainDataBegin;
    int32_t privateBits;
    int32_t scfsi[2][4];
    GranuleChannel gr[2][2];
};

struct Layer3Channel {
    int16_t quant[576 + 8];
    float xr[576 + 8];
    int32_t nonZero;
    int32_t prevSubbands;
    float overlap[32][18];
    int16_t scfLong[22];
    int16_t scfShort[13][3];
    // MPEG-2 intensity: the value that marks an illegal position, per band.
    int16_t isMaxLong[22];
    int16_t isMaxShort[13];
};

struct State {
    FrameHeader header;
    FrameHeader saved;
    int32_t savedMpeg25;
    int32_t synchronised;
    int32_t lastBitrateIndex;
    int32_t framesDecoded;
    int32_t id3Pending;        // -1: none
    int32_t freeFormatLength;  // bytes of a free-format frame without padding, 0 unknown
    uint64_t streamPosition;
    BitReader reader;
    BitReader savedReader;

    // layers I and II
    int32_t allocTable;  // index for Layer2Table, -1 none
    int32_t nbalColumns;
    int32_t sblimit;
    int32_t jsbound;
    int16_t allocation[2][32];
    uint8_t scfsi[2][32];
    uint8_t scaleIndex[2][32][3];
    float subbandSamples[2][1152];
    float pcm[2][1152];

    // layer III
    SideInfo side;
    Layer3Channel l3[2];
    float window[4][36];
    int32_t reservoirFill;
    uint8_t reservoir[kReservoirSize + kReservoirSlack];

    // kernel contexts, inside this block
    AcSynthesisState* synthesis[kSynthesisStates];
    AcMdctSpec* mdct36;
    AcMdctSpec* mdct12;
    uint8_t* mdctWork;
    AcHuffmanSpec* huff[kHuffSpecs];
};

// Lays out the state in `memory` (null: only computes the size) and initialises it. Returns a
// CoreResult; *size receives the bytes needed.
int StateInit(uint8_t* memory, size_t* size);
// Adds delta to every pointer kept inside the block after it moved.
void StateRebase(State* s, ptrdiff_t delta);
// Forgets the stream position, the reservoir and the filter memories; keeps the saved header.
void StateReset(State* s);

// Decodes at most one frame from in[0..size) into out (room for outSamples 16-bit samples).
// *consumed receives the bytes used (tag, skipped data and the frame).
int DecodeFrame(State* s, const uint8_t* in, size_t size, int16_t* out, size_t outSamples,
                int checkNextHeader, size_t* consumed);

int SampleRate(const FrameHeader& h);
int SamplesPerFrame(const FrameHeader& h);
int BitrateKbps(const FrameHeader& h);

// Layer decoders, given the whole frame (header included). Results: kFrameDecoded, or for layer II
// -1 when the CRC fails; for layer III -1 when the frame must be skipped, kUndecodableFrame.
int DecodeLayer1(State* s, const uint8_t* frame, size_t length);
int DecodeLayer2(State* s, const uint8_t* frame, size_t length);
int DecodeLayer3(State* s, const uint8_t* frame, size_t length);
void InitLayer3Tables(State* s);
// Runs the synthesis filter over `slots` time slots of 32 subband samples per channel.
void Synthesise(State* s, const float* subbands, float* pcm, int channel, int slots);

}  // namespace mpa
}  // namespace UMC
