#pragma once

class QThreadPool;

// The threads for work that grows with the user's data: encoding a large lexicon, cutting and
// encoding a long take, building a large request body. Fewer than the cores, so that a burst of it
// leaves one for the window; and never QThreadPool::globalInstance(), which Qt's raster engine
// paints on in stripes: a frame would wait behind a save.
//
// One pool for the whole process, reached from anywhere: the encoders are values deep inside
// stores and recognisers, with no owner of their own to be handed a pool through.
QThreadPool& bulkPool();
