"""Machine learning: every photo of a folder as a fixed-size 224 x 224 array, decoded small, feeding a training loop.

    python training_batches.py PHOTO_FOLDER [EPOCHS]

Each read shrinks a JPEG while decoding and crops to the square (fit="cover"), so a batch costs a fraction of
full decodes. The "model" here is a tiny linear regression on the mean colour, trained with plain NumPy: the
point is the data path, not the network.
"""
import os
import sys

import numpy

import rasterkit

SIDE = 224


def load_batch(paths):
    """An (n, 224, 224, 3) float32 batch in 0..1, one fixed-size array per file."""
    arrays = [numpy.asarray(rasterkit.Image.read(p, resize=(SIDE, SIDE), fit="cover", auto_orient=True))[..., :3]
              for p in paths]
    return numpy.stack(arrays).astype(numpy.float32) / 255.0


def train(folder, epochs=3, batch_size=4):
    paths = sorted(os.path.join(folder, name) for name in os.listdir(folder)
                   if name.lower().endswith((".jpg", ".jpeg", ".png", ".bmp")))
    weights = numpy.zeros(3, numpy.float32)
    for epoch in range(epochs):
        loss = 0.0
        for start in range(0, len(paths), batch_size):
            batch = load_batch(paths[start:start + batch_size])
            features = batch.mean(axis=(1, 2))             # mean colour per image
            target = batch[..., 1].std(axis=(1, 2))          # learn the green channel's spread from it
            error = features @ weights - target
            weights -= 0.5 * features.T @ error / len(batch)
            loss += float((error ** 2).sum())
        print("epoch %d: loss %.5f over %d images" % (epoch + 1, loss, len(paths)))
    return weights


if __name__ == "__main__":
    train(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 3)
