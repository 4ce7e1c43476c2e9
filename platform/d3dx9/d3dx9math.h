#pragma once
// (filled in by its owner)
