<?php

declare(strict_types=1);

namespace Vistrel;

/**
 * A client of one server. The connection is kept open and reused between
 * calls. `timeout` (seconds, 0 for none) bounds the connect and every wait
 * for bytes. GET and EXEC are sent once more on a fresh connection when the
 * connection was refused, reset or closed before the answer began.
 */
final class Client
{
    public const DEFAULT_PORT = 19985;
    public const DEFAULT_MAX_RESPONSE = 256 << 20;
    /** EXEC2 image flag: keep an untouched copy for later layers. */
    public const KEEP_PRISTINE = 1;

    private ?Connection $idle = null;

    public function __construct(
        public readonly string $host = '127.0.0.1',
        public readonly int $port = self::DEFAULT_PORT,
        public readonly float $timeout = 30.0,
        public readonly int $maxResponse = self::DEFAULT_MAX_RESPONSE,
        public readonly bool $retry = true,
    ) {
    }

    /** Closes the idle connection; the client stays usable. */
    public function close(): void
    {
        $this->idle?->close();
        $this->idle = null;
    }

    /**
     * The path of the result file for `$command` applied to the image file
     * `$path` on the server's machine. With `$codePage` the strings travel in
     * that Windows code page (encoding 401) instead of UTF-16LE.
     */
    public function get(string $path, string $command = '', ?int $codePage = null): string
    {
        [$status, $payload] = $this->call(Wire::getFrame($path, $command, $codePage));
        if ($status !== 0) {
            throw new ResultException('GET', $status);
        }
        return Wire::bareText($payload, $codePage);
    }

    /**
     * Runs `$script` (lines in a string or an array) on exactly one source:
     * `$file` on the server's machine, image bytes `$data`, or a page `$url`
     * to capture with `$options`. Returns the encoded bytes of an `encode`
     * line (or the path it wrote), a Size for `_getmetric_`, or null when the
     * script answered nothing.
     * @param string|list<string> $script
     */
    public function exec(string|array $script, ?string $file = null, ?string $data = null, ?string $url = null, string $options = ''): string|Size|null
    {
        $given = array_filter([Wire::SOURCE_FILE => $file, Wire::SOURCE_BYTES => $data, Wire::SOURCE_URL => $url], fn ($v) => $v !== null);
        if (count($given) !== 1) {
            throw new \InvalidArgumentException('exec takes exactly one of file:, data:, url:');
        }
        $kind = array_key_first($given);
        $raw = $kind === Wire::SOURCE_BYTES ? $data : Wire::utf16z($given[$kind]);
        $frame = Wire::kindFrame('EXEC', $kind, $raw, $options, self::scriptText($script));
        [$status, $payload] = $this->call($frame);
        return self::typed('EXEC', $status, $payload);
    }

    /** A new EXEC2 session on its own connection to this server. */
    public function session(): Exec2Session
    {
        return new Exec2Session($this);
    }

    /** @internal */
    public function connect(): Connection
    {
        return new Connection($this->host, $this->port, $this->timeout, $this->maxResponse);
    }

    /** @param string|list<string> $script */
    public static function scriptText(string|array $script): string
    {
        return is_array($script) ? implode("\n", $script) : $script;
    }

    /** @internal */
    public static function typed(string $verb, int $status, string $payload): string|Size|null
    {
        if ($status !== 0) {
            throw new ResultException($verb, $status);
        }
        return Wire::typedAnswer($payload);
    }

    /** @return array{0: int, 1: string} */
    private function call(string $frame): array
    {
        $attempts = $this->retry ? 2 : 1;
        for ($attempt = 1; ; $attempt++) {
            $conn = $this->idle;
            $this->idle = null;
            try {
                $conn ??= $this->connect();
                $answer = $conn->exchange($frame);
                $this->idle = $conn;
                return $answer;
            } catch (RetryableTransport $e) {
                if (!$e->retryable || $attempt >= $attempts) {
                    throw $e->toPublic();
                }
            }
        }
    }
}
