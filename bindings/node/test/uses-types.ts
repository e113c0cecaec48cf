// Compiled by tsc in types.test.js, never run: every call as a user writes it.
import { convert, convertFiles, probe, RasterkitError, read, write } from '..';

async function thumbnailService(upload: Buffer): Promise<Buffer> {
  const facts = await probe(upload);
  const width: number = facts.width;
  const thumbnail: Buffer = await convert(upload, { format: 'jpeg', quality: 80, resize: { width: 256, height: 256, fit: 'cover' } });
  const image = await read(upload, { maxPixels: 50_000_000, rotate: 90 });
  const again: Buffer = await write(image, { format: 'png', compression: 1 });
  const written = await write({ data: image.data, width: image.width, height: image.height }, { output: '/tmp/x.png' });
  const results = await convertFiles(['a.jpg'], 'out', { format: 'png', crop: { x: 0, y: 0, width: width, height: 10 } });
  for (const result of results) if (!result.ok) console.log(result.error.code, result.error.path);
  console.log(written.warning, again.length);
  return thumbnail;
}

thumbnailService(Buffer.alloc(0)).catch((error: unknown) => {
  if (error instanceof RasterkitError) console.log(error.code);
});
