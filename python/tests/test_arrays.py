"""Any integer or boolean array, in any memory order, is the same network: only 1 marks it."""

import numpy as np

import drainshape


def test_every_type_and_memory_order_gives_the_same_products(sample):
    expected = drainshape.analyse(sample, window=13, regional=13)
    # Background values other than 0: a byte of 7 as in a .raw file, and wider values whose low
    # byte is 1 (257, -255), which a truncating conversion would turn into network.
    every_7th = (sample == 0) & (np.arange(sample.size).reshape(sample.shape) % 7 == 0)
    strided = np.zeros((2 * sample.shape[0], 2 * sample.shape[1]), np.int64)
    strided[::2, ::2] = sample
    networks = {
        "bool": sample.astype(bool),
        "uint8 with 7": np.where(every_7th, 7, sample).astype(np.uint8),
        "int32 with 257, Fortran order": np.asfortranarray(np.where(every_7th, 257, sample),
                                                           np.int32),
        "int16 with -255": np.where(every_7th, -255, sample).astype(np.int16),
        "uint16, big-endian": sample.astype(">u2"),
        "int64, every other element": strided[::2, ::2],
        "transposed twice": np.ascontiguousarray(sample.T).T,
        "nested lists": sample.tolist(),
    }
    for kind, network in networks.items():
        before = np.array(network, copy=True)
        result = drainshape.analyse(network, window=13, regional=13)
        assert np.array_equal(np.asarray(network), before), f"{kind}: the array was changed"
        for name, image in expected.images.items():
            assert np.array_equal(result.images[name], image), f"{kind}: {name}"
        for name, table in expected.tables.items():
            assert np.array_equal(result.tables[name], table), f"{kind}: {name}"
