// The AC-3 decoder state: one block from the codec's allocator. The only pointers kept inside are
// the transform set-ups and their work buffer, which are rebased when the block moves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SDKs/CodecFramework/CodecCommon/AudioDecoderRecord.h"
#include "SDKs/CodecFramework/ac3/Ac3Bits.h"
#include "primitives/AudioCoding.h"

namespace UMC {
namespace ac3 {

// Internal results of the decoding core.
using audio::CoreResult;
using enum audio::CoreResult;

inline constexpr int kBlocks = 6;
inline constexpr int kBlockSamples = 256;
inline constexpr int kFrameSamples = kBlocks * kBlockSamples;
inline constexpr int kMaxFbw = 5;
// Channel slots of the per-channel parsing arrays: full-bandwidth 0..4, then coupling, then LFE.
inline constexpr int kCpl = 5;
inline constexpr int kLfe = 6;
inline constexpr int kSlots = 7;
inline constexpr int kMaxOut = 6;
inline constexpr int kBands = 50;
inline constexpr int kMaxCplSub = 18;

// Output speakers, in the order the interleaved PCM carries them (the channel-mask bit order).
enum Speaker : int {
    kLeft,
    kRight,
    kCentre,
    kLfeSpeaker,
    kSurround,
    kLeftSurround,
    kRightSurround
};

struct Bsi {
    int32_t fscod;
    int32_t frmsizecod;
    int32_t frameWords;  // 16-bit words
    int32_t sampleRate;
    int32_t bitrateKbps;
    int32_t bsid, bsmod, acmod, lfeon;
    int32_t cmixlev, surmixlev, dsurmod;
    int32_t dialnorm, dialnorm2;
    int32_t compre, compr, compr2e, compr2;
    int32_t nfchans;
};

struct DeltaAlloc {
    int32_t active;  // new or reused segments apply
    int32_t segments;
    uint8_t offset[8], length[8], ba[8];
};

// What persists from block to block within a frame (and is re-validated at every frame start).
struct BlockState {
    int32_t blksw[kMaxFbw];
    int32_t dithflag[kMaxFbw];
    float dynrng[2];  // linear gains of the two programmes (1+1 has two)
    int32_t cplStrategySeen;
    int32_t cplinu;
    int32_t chincpl[kMaxFbw];
    int32_t phsflginu;
    int32_t cplbegf, cplendf;
    int32_t ncplsubnd, ncplbnd;
    uint8_t cplbndstrc[kMaxCplSub];
    int32_t cplcoSeen[kMaxFbw];
    float cplco[kMaxFbw][kMaxCplSub];  // per band
    uint8_t phsflg[kMaxCplSub];
    int32_t nrematbnd;
    uint8_t rematflg[4];
    int32_t expSeen[kSlots];
    int32_t startMant[kSlots], endMant[kSlots];
    int8_t exps[kSlots][256];
    // bit allocation parameters
    int32_t baSeen, snrSeen, leakSeen;
    int32_t sdcycod, fdcycod, sgaincod, dbpbcod, floorcod;
    int32_t csnroffst;
    int32_t fsnroffst[kSlots], fgaincod[kSlots];
    int32_t cplfleak, cplsleak;
    DeltaAlloc delta[kSlots];
    int32_t baDirty[kSlots];
    uint8_t bap[kSlots][256];
};

struct State {
    Bsi bsi;
    int32_t haveBsi;  // a frame's bsi has been read since Init or Reset

    // parameters
    uint32_t dualMonoMode, outputConfig, outputLfe, drcMode;
    int32_t stereoMode;
    uint32_t concealMode;
    float drcBoostScale, drcCutScale, outputGain;

    // output configuration of the current frame
    int32_t outAcmod;  // acmod coding of the output
    int32_t outLfe;
    int32_t outChannels;
    int32_t outSpeakers[kMaxOut];
    // weight of each coded channel slot (0..4 full bandwidth, kLfe) in each output channel
    float mixMatrix[kMaxOut][kSlots];

    BlockState blk;
    uint16_t dither;
    int32_t framesDecoded;
    int32_t blocksDecoded;
    int32_t concealing;  // conceal_mode 1 has cleared the overlap in this run of bad blocks

    float coef[kSlots][256];  // transform coefficients of the coded channels (coupling: its own)
    uint8_t cplZero[256];     // coupling bins whose allocation was zero
    float mix[kMaxOut][256];  // coefficients of the output channels (coefficient-domain mix)
    float buf[kMaxOut][512];  // transform outputs before windowing
    float tmp[512];
    float delay[kMaxOut][256];
    float window[512];  // rising half then falling half, scaled to 16-bit output

    AcMdctSpec* mdct512;
    AcMdctSpec* mdct256;
    uint8_t* mdctWork;
};

// Lays out the state in `memory` (null: only computes the size) and initialises it. Returns a
// CoreResult; *size receives the bytes needed.
int StateInit(uint8_t* memory, size_t* size);
void StateRebase(State* s, ptrdiff_t delta);
// Clears the transform memories and the dither, recomputes the output configuration.
void StateReset(State* s);

// ---- stages -------------------------------------------------------------------------------------

// Words per frame for fscod 0..2 and frmsizecod 0..37, and the bit rate in kbit/s.
int FrameWords(int fscod, int frmsizecod);
int BitrateKbps(int frmsizecod);
int SampleRateOf(int fscod);
// The frame's CRC remainder over `bytes` bytes (0 when correct).
uint16_t Crc16(const uint8_t* data, size_t bytes);
// Reads syncinfo and bsi from a reader positioned at the sync word. Returns false for values
// the decoder cannot handle (fscod 3, frmsizecod above 37, bsid above 8).
bool ParseSyncInfo(BitReader& br, Bsi* bsi);
bool ParseBsi(BitReader& br, Bsi* bsi);

// Parses audio block `blk` (exponents, bit allocation, mantissas) into s->coef. False on a parse
// error.
bool ParseAudioBlock(State* s, BitReader& br, int blk);
// Prepares the block state at the start of a frame.
void StartFrame(State* s);
// Recomputes the bit allocation pointers of a channel slot.
void ComputeBitAllocation(State* s, int slot);
// The next dither value (before scaling by the exponent) from the generator's state. One step is
// two multiplications by 47989 modulo 2^16: the state is carried as a 32-bit product whose low
// 16 bits are the generator's, so the chain from one value to the next is one multiplication.
inline float DitherValue(uint32_t& state) {
    const int16_t a = int16_t(uint16_t(state * 47989u));
    state *= 47989u * 47989u;
    const int16_t b = int16_t(uint16_t(state));
    return float(int(a) + int(b)) * 0.35355338f * (1.0f / 32768.0f);
}
// Reads the mantissas of every channel of the block; false on a reserved group code.
bool UnpackMantissas(State* s, BitReader& br);
// Decoupling and rematrixing.
void Decouple(State* s);
void Rematrix(State* s);
// Linear gain of a dynrng or compr word for the given programme under the configured mode.
float DynamicRangeGain(const State* s, int word, bool isCompr);
void ApplyDynamicRange(State* s);
// Output configuration from the parameters and (for output_config 8) the current frame.
void ChooseOutput(State* s);
// Mixes, transforms, windows and writes one block of 256 samples per output channel.
// Fills the window table.
void InitWindow(State* s);
void ReconstructBlock(State* s, int16_t* out);
// Continues the overlap of every output channel with no new input (conceal_mode 0), or outputs
// silence (conceal_mode 1).
void ConcealBlock(State* s, int16_t* out);
// Decodes at most one frame from in[0..size).
int DecodeFrame(State* s, const uint8_t* in, size_t size, int16_t* out, size_t outBytes,
                size_t* consumed);
// Sets crc1 and crc2 of a whole frame so that both checks pass.
void WriteCrcs(uint8_t* frame, size_t frameBytes);
// Clears the dither flag of every channel in every block and rewrites the CRCs; false when the
// frame does not parse. Uses s as scratch.
bool ClearDitherFlags(State* s, uint8_t* frame, size_t frameBytes);
// Rewrites a 2/0 frame without coupling or low-frequency channel as a 1+1 (dual mono) frame of
// the same size into `out`: the bsi of two programmes, a second gain flag per block, no
// rematrixing fields. False when the frame does not qualify or lacks the room.
bool ConvertToDualMono(State* s, const uint8_t* frame, size_t frameBytes, uint8_t* out);
// Rewrites a frame (not 1+1) into `out` with the given gain words: per block a dynrng word, or -1
// for none (the previous block's gain stays), and the bsi compr word, or -1 for none. `outBytes`
// is a frame size of the same sampling rate, at least the frame's own: encoders leave little
// room, so a larger frame makes some. False when the frame does not parse or the words do not
// fit.
bool WriteGainWords(State* s, const uint8_t* frame, size_t frameBytes, const int dynrng[kBlocks],
                    int compr, uint8_t* out, size_t outBytes);
// Channel mask of an acmod with or without the low-frequency channel.
uint32_t ChannelMask(int acmod, int lfe);
int ChannelsOf(int acmod);

}  // namespace ac3
}  // namespace UMC
