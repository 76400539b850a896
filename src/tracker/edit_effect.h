#pragma once

#include <string>

#include "common/components/audio/sample_data.h"
#include "common/components/data/property_bridge.h"

// One sample edit operation, applied to frames begin..end inclusive of a Sample_Data.
class Edit_Effect {
public:
    virtual ~Edit_Effect() = default;
    // The effect was chosen while this range is selected; lets it preset its parameters.
    virtual void selected_notify(Sample_Data* data, int begin, int end);
    virtual Property_Bridge_List get_property_list();
    virtual void process(Sample_Data* data, int begin, int end) = 0;
    // True when the operation replaces the data block, so readers of the old one must be stopped.
    virtual bool is_destructive() const { return false; }
    // Whether process() changes no frame outside begin..end (undo keeps only that span).
    virtual bool keeps_frames_outside_range() const { return true; }
    virtual std::string get_name() const = 0;
    virtual std::string get_description() const = 0;
};

class Edit_Effect_Reverse : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    std::string get_name() const override { return "Reverse"; }
    std::string get_description() const override { return "Flips the sample horizontally"; }
};

class Edit_Effect_PreLoop_Cut : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    bool is_destructive() const override { return true; }
    std::string get_name() const override { return "Pre-Loop Cut"; }
    std::string get_description() const override { return "Removes data before Loop-Beginpoint"; }
};

class Edit_Effect_PostLoop_Cut : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    bool is_destructive() const override { return true; }
    std::string get_name() const override { return "Post-Loop Cut"; }
    std::string get_description() const override { return "Removes data after Loop-Endpoint"; }
};

class Edit_Effect_SelToLoop : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    std::string get_name() const override { return "Selection -> Loop"; }
    std::string get_description() const override { return "Moves loop points to the selection area"; }
};

class Edit_Effect_Center : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    std::string get_name() const override { return "Center"; }
    std::string get_description() const override { return "Centers the sample"; }
};

class Edit_Effect_Normalize : public Edit_Effect {
public:
    Edit_Effect_Normalize();
    Edit_Effect_Normalize(const Edit_Effect_Normalize&) = delete;
    Edit_Effect_Normalize& operator=(const Edit_Effect_Normalize&) = delete;
    void selected_notify(Sample_Data* data, int begin, int end) override;
    Property_Bridge_List get_property_list() override { return {&amplify_prop}; }
    void process(Sample_Data* data, int begin, int end) override;
    std::string get_name() const override { return "Amp/Normalize"; }
    std::string get_description() const override { return "Performs Amplification,\n defaults to normalize"; }

    int amplify = 100;  // percent
    Int_Property_Bridge amplify_prop;
};

class Edit_Effect_Toggle_Sign : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    bool keeps_frames_outside_range() const override { return false; }
    std::string get_name() const override { return "Toggle Signed/Unsigned"; }
    std::string get_description() const override { return "Toggles between unsigned (AMIGA/PPC) and signed (PC)"; }
};

class Edit_Effect_Toggle_Depth : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    bool is_destructive() const override { return true; }
    std::string get_name() const override { return "Toggle 16/8bits"; }
    std::string get_description() const override { return "Toggles between 8bits/16bits mode"; }
};

class Edit_Effect_Tuner : public Edit_Effect {
public:
    static constexpr double C5_HZ = 261.6255;

    Edit_Effect_Tuner();
    Edit_Effect_Tuner(const Edit_Effect_Tuner&) = delete;
    Edit_Effect_Tuner& operator=(const Edit_Effect_Tuner&) = delete;
    void selected_notify(Sample_Data* data, int begin, int end) override;
    Property_Bridge_List get_property_list() override { return {&cycles_prop}; }
    void process(Sample_Data* data, int begin, int end) override;
    std::string get_name() const override { return "C5 Tuner"; }
    std::string get_description() const override { return "Given the Cycles inside the selection\nTunes the sample to C5"; }

    int cycles = 4;
    Int_Property_Bridge cycles_prop;
};

class Edit_Effect_FadeIn : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    std::string get_name() const override { return "Fade In"; }
    std::string get_description() const override { return "Peforms a crescent volume ramp"; }
};

class Edit_Effect_FadeOut : public Edit_Effect {
public:
    void process(Sample_Data* data, int begin, int end) override;
    std::string get_name() const override { return "Fade Out"; }
    std::string get_description() const override { return "Perform a decrescent volume ramp"; }
};
