#pragma once
// The export engine lands here.
