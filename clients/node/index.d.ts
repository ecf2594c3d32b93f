// Types of the vistrel package.

export interface Size { width: number; height: number; }
export type Answer = Buffer | string | Size | null;
export type Script = string | string[];

export interface ClientOptions {
  host?: string;        // default '127.0.0.1'
  port?: number;        // default 19985
  timeout?: number;     // ms for the connect and every wait for bytes; 0 = none; default 30000
  maxResponse?: number; // largest answer taken, in bytes; default 256 MiB
  retry?: boolean;      // GET and EXEC once more after a refused or reset connection; default true
  maxIdle?: number;     // idle connections kept for reuse; default 8
}

export class Client {
  constructor(options?: ClientOptions);
  get(path: string, command?: string, options?: { codePage?: number }): Promise<string>;
  exec(script: Script, source: { file?: string; data?: Uint8Array; url?: string; options?: string }): Promise<Answer>;
  session(): Exec2Session;
  close(): void;
}

export class Exec2Session {
  load(name: string, path: string): Promise<Size>;
  loadBytes(name: string, data: Uint8Array): Promise<Size>;
  capture(name: string, url: string, options?: string): Promise<Size>;
  blank(name: string, width: number, height: number, colour?: string): Promise<Size>;
  script(name: string, script: Script): Promise<Answer>;
  metadata(name: string, tag: number): Promise<string>;
  release(name: string): Promise<void>;
  setFlags(name: string, bits: number): Promise<void>;
  clearFlags(name: string, bits: number): Promise<void>;
  close(): void;
}

export class VistrelError extends Error {}
export class ResultError extends VistrelError { verb: string; code: number; meaning: string; }
export class TransportError extends VistrelError { code: string; timedOut: boolean; }
export class ProtocolError extends VistrelError {}
export const DEFAULT_PORT: 19985;
export const KEEP_PRISTINE: 1;
export function meaning(code: number): string;
