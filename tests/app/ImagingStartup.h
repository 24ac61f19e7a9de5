// The imaging library started as the viewer starts it, once for a test program: the units
// registered at their start-up slots, then the library's start-up (the format registry among
// it); the shut-down after the last test.
#pragma once

#include "imaging/core/VLCanvas.h"
#include "imaging/core/VLDefs.h"
#include "imaging/formats/VLCCITT.h"
#include "imaging/io/VLJpeg2000.h"
#include "imaging/io/VistrelIOUnit.h"
#include "imaging/proc/VistrelProcUnit.h"
#include "imaging/view/VistrelView.h"

#include <gtest/gtest.h>

class TImagingStartup : public testing::Environment {
public:
    void SetUp() override {
        RegisterCanvasUnit();
        RegisterVistrelIOUnit();
        RegisterJpeg2000Unit();
        RegisterCCITTUnit();
        RegisterVistrelProcUnit();
        RegisterVistrelViewUnit();
        InitializeLibrary();
    }
    void TearDown() override { FinalizeLibrary(); }
};

inline testing::Environment* const ImagingStartup =
    testing::AddGlobalTestEnvironment(new TImagingStartup);
