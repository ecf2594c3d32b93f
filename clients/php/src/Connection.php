<?php

declare(strict_types=1);

namespace Vistrel;

/**
 * One socket: sends a frame, reads its whole answer. A failure before the
 * answer began (refused, reset, closed) is marked retryable so that the
 * client may try once more on a fresh connection.
 * @internal
 */
final class Connection
{
    private const ECONNREFUSED = 111;
    private const ECONNRESET = 104;

    /** @var resource|null */
    private $stream;

    public function __construct(string $host, int $port, private float $timeout, private int $maxResponse)
    {
        $errno = 0;
        $errstr = '';
        $stream = @stream_socket_client("tcp://$host:$port", $errno, $errstr, $timeout > 0 ? $timeout : null);
        if ($stream === false) {
            $timedOut = $errno === 110;
            throw new RetryableTransport("cannot connect to $host:$port: $errstr", $errno, $timedOut, $errno === self::ECONNREFUSED);
        }
        if ($timeout > 0) {
            $seconds = (int) $timeout;
            stream_set_timeout($stream, $seconds, (int) (($timeout - $seconds) * 1e6));
        }
        if (function_exists('socket_import_stream') && defined('TCP_NODELAY')) {
            $socket = socket_import_stream($stream);
            if ($socket !== false && $socket !== null) {
                @socket_set_option($socket, SOL_TCP, TCP_NODELAY, 1);
            }
        }
        $this->stream = $stream;
    }

    public function __destruct()
    {
        $this->close();
    }

    public function close(): void
    {
        if ($this->stream !== null) {
            fclose($this->stream);
            $this->stream = null;
        }
    }

    public function isOpen(): bool
    {
        return $this->stream !== null;
    }

    /** @return array{0: int, 1: string} status and payload */
    public function exchange(string $frame): array
    {
        try {
            $this->write($frame);
            $header = $this->read(Wire::RESPONSE_HEADER_SIZE, true);
            [$status, $length] = Wire::parseHeader($header);
            if ($length > $this->maxResponse) {
                throw new ProtocolException("the answer announces $length bytes, more than the limit {$this->maxResponse}");
            }
            return [$status, $this->read($length, false)];
        } catch (\Throwable $e) {
            $this->close();
            throw $e;
        }
    }

    private function write(string $frame): void
    {
        for ($sent = 0; $sent < strlen($frame); $sent += $n) {
            $n = @fwrite($this->stream, substr($frame, $sent, 1 << 20));
            if ($n === false || $n === 0) {
                $this->checkTimeout();
                // The peer closed or reset the connection before the request was taken.
                throw new RetryableTransport('the connection failed while sending', self::ECONNRESET, false, true);
            }
        }
    }

    private function read(int $size, bool $first): string
    {
        $data = '';
        while (strlen($data) < $size) {
            $chunk = @fread($this->stream, min($size - strlen($data), 1 << 20));
            if ($chunk === false || $chunk === '') {
                $this->checkTimeout();
                if (feof($this->stream)) {
                    $early = $first && $data === '';
                    throw new RetryableTransport('the server closed the connection', self::ECONNRESET, false, $early);
                }
                continue;
            }
            $data .= $chunk;
        }
        return $data;
    }

    private function checkTimeout(): void
    {
        if (stream_get_meta_data($this->stream)['timed_out']) {
            throw new TransportException('the server did not answer in time', 110, true);
        }
    }
}
