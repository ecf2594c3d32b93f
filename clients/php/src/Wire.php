<?php

declare(strict_types=1);

namespace Vistrel;

/**
 * The bytes on the wire, as docs/protocol.md describes them: request frames,
 * response headers and payloads. Nothing here touches a socket.
 */
final class Wire
{
    public const ENCODING_UTF16 = 400;
    public const ENCODING_CODE_PAGE = 401;
    public const RESPONSE_HEADER_SIZE = 12;
    public const MAGIC = "VS4\0";

    public const SOURCE_FILE = 1;
    public const SOURCE_URL = 2;
    public const SOURCE_BYTES = 3;

    public const KIND_LOAD_FILE = 1;
    public const KIND_CAPTURE = 2;
    public const KIND_LOAD_BYTES = 3;
    public const KIND_SCRIPT = 4;
    public const KIND_RELEASE = 5;
    public const KIND_METADATA = 6;
    public const KIND_SET_FLAGS = 7;
    public const KIND_CLEAR_FLAGS = 8;
    public const KIND_BLANK = 9;

    public const MEANINGS = [
        0 => 'success',
        100 => 'unknown verb',
        101 => 'unknown operation, or an operation this verb cannot run',
        102 => 'source file missing, or the image holds no picture',
        103 => 'command file not found',
        105 => 'command missing or not allowed',
        106 => 'no memory for the encoded image',
        107 => 'web page capture failed',
        201 => 'image step failed: generic error (or the worker failed or timed out)',
        202 => 'image step failed: invalid parameter',
        203 => 'image step failed: out of memory or image too large',
        204 => 'image step failed: object busy',
        205 => 'image step failed: insufficient buffer',
        206 => 'image step failed: not implemented',
        207 => 'image step failed: file cannot be read or written',
        208 => 'image step failed: wrong state',
        209 => 'image step failed: aborted',
        210 => 'image step failed: file not found',
        211 => 'image step failed: value overflow',
        212 => 'image step failed: access denied',
        213 => 'image step failed: unknown image format',
        214 => 'image step failed: font family not found',
        215 => 'image step failed: font style not found',
        216 => 'image step failed: not a TrueType font',
        219 => 'image step failed: property not found',
        220 => 'image step failed: property not supported',
    ];

    /** What a result code means, in words. */
    public static function meaning(int $code): string
    {
        return self::MEANINGS[$code] ?? ($code > 200 && $code < 300 ? 'image step failed' : 'unknown result code');
    }

    /** A NUL-terminated UTF-16LE text from UTF-8. */
    public static function utf16z(string $text): string
    {
        return self::convert('UTF-8', 'UTF-16LE', $text) . "\0\0";
    }

    /** The 36-byte header, the code page for encodings other than 400, the body. */
    public static function requestFrame(string $verb, string $body, int $encoding = self::ENCODING_UTF16, int $codePage = 0): string
    {
        $verbField = str_pad(self::convert('UTF-8', 'UTF-16LE', substr($verb, 0, 11)), 24, "\0");
        $frame = self::MAGIC . pack('V', $encoding) . $verbField . pack('V', strlen($body));
        if ($encoding !== self::ENCODING_UTF16) {
            $frame .= pack('V', $codePage);
        }
        return $frame . $body;
    }

    public static function getFrame(string $path, string $command, ?int $codePage = null): string
    {
        if ($codePage === null) {
            return self::requestFrame('GET', self::utf16z($path) . self::utf16z($command) . self::utf16z(''));
        }
        $charset = self::charset($codePage);
        $body = '';
        foreach ([$path, $command, ''] as $text) {
            $body .= self::convert('UTF-8', $charset, $text) . "\0";
        }
        return self::requestFrame('GET', $body, self::ENCODING_CODE_PAGE, $codePage);
    }

    /** EXEC and EXEC2: u16 kind, u32 data length, data, two texts. */
    public static function kindFrame(string $verb, int $kind, string $data, string $textA, string $textB): string
    {
        return self::requestFrame($verb, pack('vV', $kind, strlen($data)) . $data . self::utf16z($textA) . self::utf16z($textB));
    }

    /** @return array{0: int, 1: int} status and payload length of a 12-byte header */
    public static function parseHeader(string $header): array
    {
        if (substr($header, 0, 4) !== self::MAGIC) {
            throw new ProtocolException('not a Vistrel answer');
        }
        $v = unpack('Vstatus/Vlength', $header, 4);
        return [$v['status'], $v['length']];
    }

    /** The path of a GET answer, as UTF-8. */
    public static function bareText(string $payload, ?int $codePage = null): string
    {
        if ($codePage === null) {
            return self::textUpToNul($payload);
        }
        $end = strpos($payload, "\0");
        if ($end === false) {
            throw new ProtocolException('text without its terminator');
        }
        return self::convert(self::charset($codePage), 'UTF-8', substr($payload, 0, $end));
    }

    /** An EXEC or EXEC2 payload: text, the binary data, a Size for 8 binary bytes, or null. */
    public static function typedAnswer(string $payload): string|Size|null
    {
        if ($payload === '') {
            return null;
        }
        if (strlen($payload) < 2) {
            throw new ProtocolException('payload of 1 byte');
        }
        $type = unpack('v', $payload)[1];
        if ($type === 1) {
            return self::textUpToNul(substr($payload, 2));
        }
        if ($type !== 2 || strlen($payload) < 6) {
            throw new ProtocolException("unknown payload type $type");
        }
        $length = unpack('V', $payload, 2)[1];
        if ($length !== strlen($payload) - 6) {
            throw new ProtocolException(sprintf('binary data of %d bytes announced, %d present', $length, strlen($payload) - 6));
        }
        $data = substr($payload, 6);
        if ($length === 8) {
            $v = unpack('Vw/Vh', $data);
            return new Size($v['w'], $v['h']);
        }
        return $data;
    }

    private static function textUpToNul(string $bytes): string
    {
        for ($i = 0; $i + 1 < strlen($bytes); $i += 2) {
            if ($bytes[$i] === "\0" && $bytes[$i + 1] === "\0") {
                return self::convert('UTF-16LE', 'UTF-8', substr($bytes, 0, $i));
            }
        }
        throw new ProtocolException('text without its terminator');
    }

    private static function charset(int $codePage): string
    {
        return $codePage === 65001 ? 'UTF-8' : "CP$codePage";
    }

    private static function convert(string $from, string $to, string $text): string
    {
        $out = @iconv($from, $to, $text);
        if ($out === false) {
            throw new \InvalidArgumentException("text cannot be converted from $from to $to");
        }
        return $out;
    }
}
