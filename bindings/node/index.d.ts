// Types of the rasterkit package for Node.js.
/// <reference types="node" />

export type Format = 'bmp' | 'png' | 'jpeg' | 'jpg';
export type Input = string | Buffer | Uint8Array;
export type Fit = 'inside' | 'cover' | 'contain' | 'fill' | 'outside';
export type Kernel = 'nearest' | 'linear' | 'cubic' | 'mitchell' | 'lanczos2' | 'lanczos3';

export interface ResizeOptions {
  width?: number;
  height?: number;
  fit?: Fit;
  /** centre (default), top, bottom, left, right, top-left, top-right, bottom-left, bottom-right */
  position?: string;
  kernel?: Kernel;
  /** "R,G,B[,A]" or [r, g, b] / [r, g, b, a]; default transparent (black where there is no alpha) */
  background?: string | [number, number, number] | [number, number, number, number];
  enlarge?: boolean;
  linear?: boolean;
}

export interface CropOptions {
  x: number;
  y: number;
  width: number;
  height: number;
}

/** The geometry and limits that apply when reading. */
export interface ReadOptions {
  resize?: ResizeOptions;
  crop?: CropOptions;
  rotate?: 0 | 90 | 180 | 270;
  flipX?: boolean;
  flipY?: boolean;
  transpose?: boolean;
  autoOrient?: boolean;
  maxPixels?: number;
  exact?: boolean;
  acceptDamaged?: boolean;
}

export interface WriteOptions extends ReadOptions {
  format?: Format;
  quality?: number;
  compression?: number;
  /** JPEG: progressive instead of baseline (the same pixels) */
  progressive?: boolean;
  /** JPEG chroma sampling: 420 (default) or 444 */
  chroma?: 444 | 420;
  strip?: boolean;
  toSrgb?: boolean;
  /** A path to write safely; without it the encoded file comes back as a Buffer. */
  output?: string;
}

export interface ProfileFacts {
  description: string | null;
  length: number;
}

export interface ProbeResult {
  format: 'bmp' | 'png' | 'jpeg';
  width: number;
  height: number;
  orientation: number;
  iccProfile: ProfileFacts | null;
}

export interface RawImage {
  /** RGBA, width * height * 4 bytes */
  data: Buffer;
  width: number;
  height: number;
  iccProfile?: Buffer | null;
}

export interface ReadResult extends RawImage {
  iccProfile: Buffer | null;
}

export interface WrittenFile {
  output: string;
  format: 'bmp' | 'png' | 'jpeg';
  width: number;
  height: number;
  warning: string | null;
}

export type FileResult =
  | ({ input: string; ok: true } & WrittenFile)
  | { input: string; output: string; ok: false; error: RasterkitError };

export type ErrorCode = 'PIXEL_LIMIT' | 'NOT_AN_IMAGE' | 'DAMAGED' | 'OUT_OF_MEMORY' | 'BAD_ARGUMENT' | string;

export class RasterkitError extends Error {
  /** the kind of failure, or for input/output the system's code (ENOENT, EACCES, ...) */
  code: ErrorCode;
  /** the file the failure is about, or null */
  path: string | null;
  errno?: number;
}

export function probe(input: Input): Promise<ProbeResult>;
export function read(input: Input, options?: ReadOptions): Promise<ReadResult>;
export function convert(input: Input, options: WriteOptions & { output: string }): Promise<WrittenFile>;
export function convert(input: Input, options: WriteOptions & { format: Format }): Promise<Buffer>;
export function write(raw: RawImage, options: WriteOptions & { output: string }): Promise<WrittenFile>;
export function write(raw: RawImage, options: WriteOptions & { format: Format }): Promise<Buffer>;
export function convertFiles(inputs: string[], outputDir: string, options?: Omit<WriteOptions, 'output'>): Promise<FileResult[]>;
export const version: string;
