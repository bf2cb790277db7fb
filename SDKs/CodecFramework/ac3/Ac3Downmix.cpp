// Output configuration and the downmix matrix from the coded channels to the output channels.
#include <cstring>

#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {
namespace ac3 {

namespace {

constexpr float kMinus3dB = 0.70710677f;
constexpr float kCentreLevels[4] = {0.70710677f, 0.59460354f, 0.5f, 0.59460354f};
constexpr float kSurroundLevels[4] = {0.70710677f, 0.5f, 0.0f, 0.5f};

// Karaoke rows by stereo_mode: [0] the left and right channels, [3], [4] the guide melody into
// left and right, [5], [6] the first vocal, [7], [8] the second vocal.
constexpr float kKaraoke[4][18] = {
    {1, 0, 0, 0.70710677f, 0.70710677f, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 0, 0},
    {1, 0.70713121f, 0, 0.70710677f, 0.70710677f, 0.70710677f, 0.70710677f, 0, 0, 1, 1, 1, 0, 0, 0,
     1, 1, 0},
    {1, 0, 0.70713121f, 0.70710677f, 0.70710677f, 0, 0, 0.70710677f, 0.70710677f, 1, 1, 1, 0, 0, 0,
     1, 0, 1},
    {1, 0.70713121f, 0.70713121f, 0.70710677f, 0.70710677f, 1, 0, 0, 1, 1, 1, -1, 0, 1, 1, 1, 0,
     0}};

// Coded channel order of each acmod.
constexpr int kCoded[8][5] = {{kLeft, kRight},
                              {kCentre},
                              {kLeft, kRight},
                              {kLeft, kCentre, kRight},
                              {kLeft, kRight, kSurround},
                              {kLeft, kCentre, kRight, kSurround},
                              {kLeft, kRight, kLeftSurround, kRightSurround},
                              {kLeft, kCentre, kRight, kLeftSurround, kRightSurround}};
constexpr int kFront[8] = {2, 1, 2, 3, 2, 3, 2, 3};

struct Router {
    State* s;
    int slot;
    float cl, sl;
    int Find(int speaker) const {
        for (int o = 0; o < s->outChannels; ++o)
            if (s->outSpeakers[o] == speaker) return o;
        return -1;
    }
    // Sends `w` of the coded channel to `speaker`, folding it into neighbours the output lacks.
    void Route(int speaker, float w) {
        const int o = Find(speaker);
        if (o >= 0) {
            s->mixMatrix[o][slot] += w;
            return;
        }
        switch (speaker) {
            case kCentre:
                Route(kLeft, w * cl);
                Route(kRight, w * cl);
                break;
            case kLeft:
            case kRight:
                Route(kCentre, w * kMinus3dB);
                break;
            case kSurround:
                if (Find(kLeftSurround) >= 0) {
                    Route(kLeftSurround, w * kMinus3dB);
                    Route(kRightSurround, w * kMinus3dB);
                } else {
                    Route(kLeft, w * sl * kMinus3dB);
                    Route(kRight, w * sl * kMinus3dB);
                }
                break;
            case kLeftSurround:
            case kRightSurround:
                if (Find(kSurround) >= 0)
                    Route(kSurround, w * kMinus3dB);
                else
                    Route(speaker == kLeftSurround ? kLeft : kRight, w * sl);
                break;
            default:
                break;
        }
    }
};

void SetSpeakers(State* s, int acmod, int lfe) {
    static const int kOrder[8][5] = {{kLeft, kRight},
                                     {kCentre},
                                     {kLeft, kRight},
                                     {kLeft, kRight, kCentre},
                                     {kLeft, kRight, kSurround},
                                     {kLeft, kRight, kCentre, kSurround},
                                     {kLeft, kRight, kLeftSurround, kRightSurround},
                                     {kLeft, kRight, kCentre, kLeftSurround, kRightSurround}};
    const int n = ChannelsOf(acmod);
    int o = 0;
    for (int i = 0; i < n; ++i) {
        if (lfe && i == kFront[acmod]) s->outSpeakers[o++] = kLfeSpeaker;
        s->outSpeakers[o++] = kOrder[acmod][i];
    }
    if (lfe && n == kFront[acmod]) s->outSpeakers[o++] = kLfeSpeaker;
    s->outAcmod = acmod;
    s->outLfe = lfe;
    s->outChannels = o;
}

void DualMono(State* s) {
    float(*m)[kSlots] = s->mixMatrix;
    const int mode = int(s->dualMonoMode);
    const int front = kFront[s->outAcmod];
    // A single programme on two speakers is lowered by 3 dB; the sum of both by 6 dB.
    const float single = front == 2 ? kMinus3dB : 1.0f;
    const float sum = 0.5f;
    int l = -1, r = -1, c = -1;
    for (int o = 0; o < s->outChannels; ++o) {
        if (s->outSpeakers[o] == kLeft) l = o;
        if (s->outSpeakers[o] == kRight) r = o;
        if (s->outSpeakers[o] == kCentre) c = o;
    }
    if (mode == 0 && l >= 0) {
        m[l][0] = 1.0f;
        m[r][1] = 1.0f;
        return;
    }
    float w1 = mode == 1 ? single : mode == 2 ? 0.0f : sum;
    float w2 = mode == 2 ? single : mode == 1 ? 0.0f : sum;
    if (c >= 0) {
        if (mode != 0) w1 = mode == 1 ? 1.0f : w1, w2 = mode == 2 ? 1.0f : w2;
        m[c][0] = w1;
        m[c][1] = w2;
        return;
    }
    m[l][0] = m[r][0] = w1;
    m[l][1] = m[r][1] = w2;
}

}  // namespace

void ChooseOutput(State* s) {
    const Bsi& bsi = s->bsi;
    if (s->outputConfig == 8)
        SetSpeakers(s, bsi.acmod, bsi.lfeon);
    else
        SetSpeakers(s, int(s->outputConfig), int(s->outputLfe));
    std::memset(s->mixMatrix, 0, sizeof(s->mixMatrix));
    if (!s->haveBsi) return;

    const int acmod = bsi.acmod;
    const int lfeOut = [&] {
        for (int o = 0; o < s->outChannels; ++o)
            if (s->outSpeakers[o] == kLfeSpeaker) return o;
        return -1;
    }();
    if (lfeOut >= 0 && bsi.lfeon) s->mixMatrix[lfeOut][kLfe] = 1.0f;

    if (acmod == 0 && s->outputConfig != 8) {
        DualMono(s);
        return;
    }
    const bool karaoke = bsi.bsmod == 7 && acmod >= 2;
    if (s->outputConfig == 0 && !karaoke) {
        // The fixed fold: centre into both sides, surrounds out of phase (left minus, right plus).
        for (int c = 0; c < bsi.nfchans; ++c) {
            switch (kCoded[acmod][c]) {
                case kLeft:
                    s->mixMatrix[0][c] = 1.0f;
                    break;
                case kRight:
                    s->mixMatrix[1][c] = 1.0f;
                    break;
                case kCentre:
                    s->mixMatrix[0][c] = kMinus3dB;
                    s->mixMatrix[1][c] = kMinus3dB;
                    break;
                default:
                    s->mixMatrix[0][c] = -kMinus3dB;
                    s->mixMatrix[1][c] = kMinus3dB;
                    break;
            }
        }
        return;
    }
    if (s->outputConfig == 0) {
        const bool levels = s->stereoMode < 0;
        const float* row = kKaraoke[levels ? 0 : s->stereoMode];
        const float cl = levels ? kCentreLevels[bsi.cmixlev] : row[3];
        const float cr = levels ? kCentreLevels[bsi.cmixlev] : row[4];
        const float sl = levels ? kSurroundLevels[bsi.surmixlev] : 0.0f;
        int vocal = 0;
        for (int c = 0; c < bsi.nfchans; ++c) {
            switch (kCoded[acmod][c]) {
                case kLeft:
                    s->mixMatrix[0][c] = row[0];
                    break;
                case kRight:
                    s->mixMatrix[1][c] = row[0];
                    break;
                case kCentre:
                    s->mixMatrix[0][c] = cl;
                    s->mixMatrix[1][c] = cr;
                    break;
                default:
                    if (levels) {
                        s->mixMatrix[vocal == 0 ? 0 : 1][c] = sl;
                    } else {
                        s->mixMatrix[0][c] = row[5 + 2 * vocal];
                        s->mixMatrix[1][c] = row[6 + 2 * vocal];
                    }
                    ++vocal;
                    break;
            }
        }
        return;
    }
    const bool levels = s->stereoMode < 0 || s->outputConfig == 8;
    Router router{s, 0, levels ? kCentreLevels[bsi.cmixlev] : kMinus3dB,
                  levels ? kSurroundLevels[bsi.surmixlev] : kMinus3dB};
    for (int c = 0; c < bsi.nfchans; ++c) {
        router.slot = c;
        router.Route(kCoded[acmod][c], 1.0f);
    }
}

}  // namespace ac3
}  // namespace UMC
