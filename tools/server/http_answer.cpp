#include "http_answer.h"

namespace vaultaide::tools {

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 416:
            return "Range Not Satisfiable";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        default:
            return "Service Unavailable";
    }
}

std::string answerHead(const Answer& answer, bool keepAlive) {
    std::string head;
    head.reserve(160 + answer.headers.size() + answer.body.size());  // the body follows
    head += "HTTP/1.1 ";
    head += std::to_string(answer.status);
    head += ' ';
    head += reasonPhrase(answer.status);
    head += "\r\nContent-Length: ";
    head += std::to_string(answer.bodyLength());
    head += "\r\n";
    if (answer.type) {
        head += "Content-Type: ";
        head += answer.type;
        head += "\r\n";
    }
    head += answer.headers;
    head += keepAlive ? "Keep-Alive: timeout=5, max=1000\r\n\r\n" : "Connection: close\r\n\r\n";
    return head;
}

std::string refusalHead(int status) {
    Answer answer;
    answer.status = status;
    if (status == 405) answer.headers = "Allow: GET, HEAD\r\n";
    return answerHead(answer, false);
}

}  // namespace vaultaide::tools
