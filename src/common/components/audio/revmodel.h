#pragma once

#include <vector>

// The Freeverb reverb (Jezar's public-domain algorithm): per channel eight parallel
// lowpass-feedback combs feeding four series allpasses, with the standard tuning.
class revmodel {
public:
    revmodel();

    void mute();
    void processreplace(const float* inputL, const float* inputR, float* outputL, float* outputR,
                        long numsamples, int skip);
    void processmix(const float* inputL, const float* inputR, float* outputL, float* outputR,
                    long numsamples, int skip);

    void setroomsize(float value);
    float getroomsize() const;
    void setdamp(float value);
    float getdamp() const;
    void setwet(float value);
    float getwet() const;
    void setdry(float value);
    float getdry() const;
    void setwidth(float value);
    float getwidth() const;
    void setmode(float value);
    float getmode() const;
    void update();

    static constexpr int numcombs = 8;
    static constexpr int numallpasses = 4;

private:
    class comb {
    public:
        void setbuffer(int size) { buffer.assign(size, 0.0f), bufidx = 0; }
        void mute() { buffer.assign(buffer.size(), 0.0f); }
        void setdamp(float val) { damp1 = val, damp2 = 1 - val; }
        void setfeedback(float val) { feedback = val; }
        float process(float input);

    private:
        float feedback = 0;
        float filterstore = 0;
        float damp1 = 0;
        float damp2 = 0;
        std::vector<float> buffer;
        int bufidx = 0;
    };

    class allpass {
    public:
        void setbuffer(int size) { buffer.assign(size, 0.0f), bufidx = 0; }
        void mute() { buffer.assign(buffer.size(), 0.0f); }
        void setfeedback(float val) { feedback = val; }
        float process(float input);

    private:
        float feedback = 0;
        std::vector<float> buffer;
        int bufidx = 0;
    };

    template <bool mix>
    void process(const float* inputL, const float* inputR, float* outputL, float* outputR, long numsamples,
                 int skip);

    float gain = 0;
    float roomsize = 0, roomsize1 = 0;
    float damp = 0, damp1 = 0;
    float wet = 0, wet1 = 0, wet2 = 0;
    float dry = 0;
    float width = 0;
    float mode = 0;

    comb combL[numcombs];
    comb combR[numcombs];
    allpass allpassL[numallpasses];
    allpass allpassR[numallpasses];
};
