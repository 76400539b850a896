#include "common/components/audio/revmodel.h"

#include <cmath>

namespace {

const float muted = 0;
const float fixedgain = 0.015f;
const float scalewet = 3;
const float scaledry = 2;
const float scaledamp = 0.4f;
const float scaleroom = 0.28f;
const float offsetroom = 0.7f;
const float initialroom = 0.5f;
const float initialdamp = 0.5f;
const float initialwet = 1 / scalewet;
const float initialdry = 0;
const float initialwidth = 1;
const float initialmode = 0;
const float freezemode = 0.5f;
const int stereospread = 23;

// Lengths in samples, tuned for 44.1 kHz and kept at every rate.
const int combtuning[revmodel::numcombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
const int allpasstuning[revmodel::numallpasses] = {556, 441, 341, 225};

// Feedback loops decay into denormals, which are very slow on most processors.
inline float undenormalise(float x) { return std::isnormal(x) ? x : 0.0f; }

} // namespace

float revmodel::comb::process(float input) {
    float output = buffer[bufidx];
    filterstore = undenormalise(output * damp2 + filterstore * damp1);
    buffer[bufidx] = input + filterstore * feedback;
    if (++bufidx >= (int)buffer.size()) bufidx = 0;
    return output;
}

float revmodel::allpass::process(float input) {
    float bufout = undenormalise(buffer[bufidx]);
    float output = -input + bufout;
    buffer[bufidx] = input + bufout * feedback;
    if (++bufidx >= (int)buffer.size()) bufidx = 0;
    return output;
}

revmodel::revmodel() {
    for (int i = 0; i < numcombs; i++) {
        combL[i].setbuffer(combtuning[i]);
        combR[i].setbuffer(combtuning[i] + stereospread);
    }
    for (int i = 0; i < numallpasses; i++) {
        allpassL[i].setbuffer(allpasstuning[i]);
        allpassR[i].setbuffer(allpasstuning[i] + stereospread);
        allpassL[i].setfeedback(0.5f);
        allpassR[i].setfeedback(0.5f);
    }
    setwet(initialwet);
    setroomsize(initialroom);
    setdry(initialdry);
    setdamp(initialdamp);
    setwidth(initialwidth);
    setmode(initialmode);
    mute();
}

void revmodel::mute() {
    if (getmode() >= freezemode) return;
    for (int i = 0; i < numcombs; i++) {
        combL[i].mute();
        combR[i].mute();
    }
    for (int i = 0; i < numallpasses; i++) {
        allpassL[i].mute();
        allpassR[i].mute();
    }
}

template <bool mix>
void revmodel::process(const float* inputL, const float* inputR, float* outputL, float* outputR,
                       long numsamples, int skip) {
    while (numsamples-- > 0) {
        float outL = 0, outR = 0;
        const float input = (*inputL + *inputR) * gain;

        for (int i = 0; i < numcombs; i++) {
            outL += combL[i].process(input);
            outR += combR[i].process(input);
        }
        for (int i = 0; i < numallpasses; i++) {
            outL = allpassL[i].process(outL);
            outR = allpassR[i].process(outR);
        }

        const float l = outL * wet1 + outR * wet2 + *inputL * dry;
        const float r = outR * wet1 + outL * wet2 + *inputR * dry;
        if (mix) {
            *outputL += l;
            *outputR += r;
        } else {
            *outputL = l;
            *outputR = r;
        }
        inputL += skip;
        inputR += skip;
        outputL += skip;
        outputR += skip;
    }
}

void revmodel::processreplace(const float* inputL, const float* inputR, float* outputL, float* outputR,
                              long numsamples, int skip) {
    process<false>(inputL, inputR, outputL, outputR, numsamples, skip);
}

void revmodel::processmix(const float* inputL, const float* inputR, float* outputL, float* outputR,
                          long numsamples, int skip) {
    process<true>(inputL, inputR, outputL, outputR, numsamples, skip);
}

void revmodel::update() {
    wet1 = wet * (width / 2 + 0.5f);
    wet2 = wet * ((1 - width) / 2);

    if (mode >= freezemode) {
        roomsize1 = 1;
        damp1 = 0;
        gain = muted;
    } else {
        roomsize1 = roomsize;
        damp1 = damp;
        gain = fixedgain;
    }
    for (int i = 0; i < numcombs; i++) {
        combL[i].setfeedback(roomsize1);
        combR[i].setfeedback(roomsize1);
        combL[i].setdamp(damp1);
        combR[i].setdamp(damp1);
    }
}

void revmodel::setroomsize(float value) {
    roomsize = value * scaleroom + offsetroom;
    update();
}
float revmodel::getroomsize() const { return (roomsize - offsetroom) / scaleroom; }

void revmodel::setdamp(float value) {
    damp = value * scaledamp;
    update();
}
float revmodel::getdamp() const { return damp / scaledamp; }

void revmodel::setwet(float value) {
    wet = value * scalewet;
    update();
}
float revmodel::getwet() const { return wet / scalewet; }

void revmodel::setdry(float value) { dry = value * scaledry; }
float revmodel::getdry() const { return dry / scaledry; }

void revmodel::setwidth(float value) {
    width = value;
    update();
}
float revmodel::getwidth() const { return width; }

void revmodel::setmode(float value) {
    mode = value;
    update();
}
float revmodel::getmode() const { return mode >= freezemode ? 1 : 0; }
